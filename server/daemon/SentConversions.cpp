#include "server/daemon/SentConversions.h"

#include <poll.h>

#include <chrono>
#include <exception>

#include "common/Paths.h"
#include "server/Dispatch.h"
#include "server/FailureReason.h"
#include "server/PathNames.h"
#include "server/daemon/LanePool.h"

namespace vd::daemon {
namespace {

// How long the thread waits at a time, for requests or for its lanes, before it looks
// at the other and at a stop.
constexpr int kTurnMilliseconds = 100;

}  // namespace

struct SentConversions::InLane {
  std::shared_ptr<DaemonRequest> request;
  ConvertDocument document;
  std::chrono::steady_clock::time_point since;
};

SentConversions::SentConversions(DaemonMailbox& mailbox, StatusBoard& board, std::size_t lanes, std::string laneProgram,
                                 const ScanSettings& recognition, FolderRequests forFolders)
    : mailbox_(mailbox),
      board_(board),
      laneCount_(std::max<std::size_t>(lanes, 1)),
      laneProgram_(std::move(laneProgram)),
      ocrLanguages_(recognition.ocrLanguages),
      ocrRotate_(recognition.ocrRotate),
      forFolders_(std::move(forFolders)) {
  inLanes_.resize(laneCount_);
  board_.change([&](DaemonStatus& status) {
    firstLane_ = status.lanes.size();
    status.lanes.resize(firstLane_ + laneCount_, LaneStatus{false, "idle"});
  });
  thread_ = std::thread([this] { run(); });
}

SentConversions::~SentConversions() { stop(); }

void SentConversions::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  mailbox_.close();
  const std::lock_guard lock(forwardedMutex_);
  for (const auto& sent : forwarded_) {
    if (const auto request = sent.lock()) request->finish(DaemonRequest::End::Refused, kDaemonStopping);
  }
  forwarded_.clear();
}

void SentConversions::run() {
  // Made, used and ended on this thread alone: a lane ends with the thread that started it.
  LanePool lanes(laneCount_, laneProgram_);
  const auto anyInLane = [&] {
    for (const auto& work : inLanes_) {
      if (work) return true;
    }
    return false;
  };
  while (!stopping_) {
    const bool converting = anyInLane();
    pollfd wake{mailbox_.descriptor(), POLLIN, 0};
    ::poll(&wake, 1, converting ? 0 : kTurnMilliseconds);
    takeRequests();
    for (std::size_t lane = 0; lane < laneCount_ && !waiting_.empty(); ++lane) {
      if (inLanes_[lane]) continue;
      const std::shared_ptr<DaemonRequest> request = waiting_.front();
      waiting_.erase(waiting_.begin());
      // Its client stopped waiting for it: not worth converting.
      if (request->abandoned()) {
        request->finish(DaemonRequest::End::Refused, "Its sender stopped waiting for it.");
        continue;
      }
      const ConvertDocument& document = std::get<ConvertDocument>(request->what());
      inLanes_[lane] = std::make_unique<InLane>(InLane{request, document, std::chrono::steady_clock::now()});
      board_.change([&](DaemonStatus& status) {
        status.sentInHand.push_back({document.name, fileNameOf(document.output), lane, std::chrono::system_clock::now()});
        status.lanes[firstLane_ + lane] = {true, "converting a sent document"};
      });
      std::optional<std::string> refused;
      try {
        LaneJob job;
        job.out = document.output;
        job.in = document.input;
        job.ext = GetExtension(document.name);
        job.security = document.security;
        job.inputDir = folderOf(document.input);
        job.ocrLanguages = ocrLanguages_;
        job.ocrRotate = ocrRotate_;
        refused = lanes.start(lane, job);
      } catch (const std::exception& error) {
        refused = FailureReason(error);
      }
      // A lane that cannot start (its program gone, no processes left) is what health reports.
      board_.change([&](DaemonStatus& status) { status.lanesCannotStart = refused; });
      if (refused) finish(lane, ConversionOutcome::failed(std::move(*refused)));
    }
    if (!anyInLane()) continue;
    std::optional<LaneFinished> finished;
    try {
      finished = lanes.wait(kTurnMilliseconds, {});
    } catch (const std::exception&) {
      lanes.abandon();
      for (std::size_t lane = 0; lane < laneCount_; ++lane) {
        if (inLanes_[lane]) finish(lane, ConversionOutcome::failed("The conversion lane could not be waited for."));
      }
    }
    board_.sentLanesLost(lanes.lost());
    if (finished && finished->lane < laneCount_ && inLanes_[finished->lane]) {
      finish(finished->lane, finished->outcome);
    }
  }
  for (std::size_t lane = 0; lane < laneCount_; ++lane) {
    if (inLanes_[lane]) inLanes_[lane]->request->finish(DaemonRequest::End::Refused, kDaemonStopping);
  }
  for (const auto& request : waiting_) request->finish(DaemonRequest::End::Refused, kDaemonStopping);
  waiting_.clear();
  lanes.abandon();
}

void SentConversions::takeRequests() {
  for (const std::shared_ptr<DaemonRequest>& request : mailbox_.take()) {
    if (std::holds_alternative<ConvertDocument>(request->what())) {
      waiting_.push_back(request);
      continue;
    }
    {
      const std::lock_guard lock(forwardedMutex_);
      std::erase_if(forwarded_, [](const auto& sent) { return sent.expired(); });
      forwarded_.push_back(request);
    }
    forFolders_(request);
  }
}

void SentConversions::finish(std::size_t lane, const ConversionOutcome& outcome) {
  const std::unique_ptr<InLane> work = std::move(inLanes_[lane]);
  // The lane decided the outcome as a dropped file's is decided (ConvertFile): a PDF checked
  // whole with its pages, or the reason there is none.
  const std::optional<std::string> failure =
      outcome.pdf
          ? std::nullopt
          : std::optional<std::string>(outcome.failure.value_or("The conversion failed for an unknown reason."));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - work->since).count();
  const int pages = outcome.pdf ? outcome.pdf->pages : 0;
  board_.change([&](DaemonStatus& status) {
    std::erase_if(status.sentInHand, [&](const FileBeingConverted& file) { return file.lane == lane; });
    status.lanes[firstLane_ + lane] = {false, "idle"};
    status.stats.record(ConverterName(GetExtension(work->document.name)), !failure, seconds);
    KeepOutcome(status.sentOutcomes, {std::chrono::system_clock::now(), work->document.name,
                                      failure ? "" : fileNameOf(work->document.output), pages, seconds, failure});
  });
  if (failure) {
    work->request->finish(DaemonRequest::End::Failed, *failure);
  } else {
    work->request->finish(DaemonRequest::End::Done);
  }
}

}  // namespace vd::daemon
