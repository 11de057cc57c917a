#include "server/daemon/StatusBoard.h"

#include <algorithm>
#include <chrono>

#include "common/Paths.h"
#include "outside/acrobat/PdfWholeness.h"
#include "server/Dispatch.h"
#include "server/PathNames.h"

namespace vd::daemon {

StatusBoard::StatusBoard(ScanObserver& console, DaemonMailbox& mailbox, const ScanSettings& folder, std::size_t lanes,
                         std::string version)
    : console_(console), mailbox_(mailbox), cycleLanes_(std::max<std::size_t>(lanes, 1)) {
  status_.version = std::move(version);
  status_.started = std::chrono::system_clock::now();
  status_.startedSteady = std::chrono::steady_clock::now();
  FolderStatus shown;
  shown.name = folder.inputDir;
  shown.inputDir = folder.inputDir;
  shown.outputDir = folder.outputDir;
  // A folder without an interval is listed again at once: a pass is due every second.
  shown.intervalSeconds = std::max<int>(folder.seconds, 1);
  shown.claimed = true;
  status_.folders.push_back(std::move(shown));
  status_.lanes.assign(cycleLanes_, LaneStatus{false, "idle"});
  mailbox_.publish(status_);
}

void StatusBoard::change(const std::function<void(DaemonStatus&)>& edit) {
  const std::lock_guard lock(mutex_);
  edit(status_);
  mailbox_.publish(status_);
}

void StatusBoard::sentLanesLost(std::uint64_t lost) {
  const std::lock_guard lock(mutex_);
  if (lost == sentLost_) return;
  sentLost_ = lost;
  showLosses(status_);
  mailbox_.publish(status_);
}

void StatusBoard::showLosses(DaemonStatus& status) const {
  if (cycleLost_ + sentLost_ > 0) status.workerRestarts["lane"] = cycleLost_ + sentLost_;
}

void StatusBoard::filesListed(const std::vector<std::string>& names) {
  console_.filesListed(names);
  change([&](DaemonStatus& status) { status.folders[0].filesWaiting = names.size(); });
}

void StatusBoard::fileTaken(const std::string& input, const std::string& output, std::size_t lane) {
  console_.fileTaken(input, output, lane);
  change([&](DaemonStatus& status) {
    FolderStatus& folder = status.folders[0];
    if (folder.filesWaiting > 0) --folder.filesWaiting;
    // A file the lane had before and that ended without a report (written to meanwhile).
    std::erase_if(folder.inHand, [&](const FileInHand& file) { return file.lane == lane; });
    folder.inHand.push_back({input, output, lane, std::chrono::system_clock::now()});
    if (lane < cycleLanes_) status.lanes[lane] = {true, "converting"};
  });
}

void StatusBoard::fileConverted(const std::string& input, const std::string& output) {
  console_.fileConverted(input, output);
  ended(input, output, std::nullopt);
}

void StatusBoard::fileFailed(const std::string& input, const std::string& reason) {
  console_.fileFailed(input, reason);
  ended(input, "", reason);
}

void StatusBoard::ended(const std::string& input, const std::string& output, std::optional<std::string> failure) {
  // Read before the lock: the status stays readable meanwhile.
  const int pages = failure ? 0 : PdfPageCount(output).value_or(0);
  const WallTime now = std::chrono::system_clock::now();
  const std::uint64_t lost = lanesOfCycle_ != nullptr ? lanesOfCycle_->lost() : 0;
  change([&](DaemonStatus& status) {
    cycleLost_ = lost;
    showLosses(status);
    FolderStatus& folder = status.folders[0];
    const auto file = std::find_if(folder.inHand.begin(), folder.inHand.end(),
                                   [&](const FileInHand& held) { return held.input == input; });
    double seconds = 0;
    if (file != folder.inHand.end()) {
      seconds = std::chrono::duration<double>(now - file->since).count();
      if (file->lane < cycleLanes_) status.lanes[file->lane] = {false, "idle"};
      folder.inHand.erase(file);
    }
    status.stats.record(ConverterName(GetExtension(fileNameOf(input))), !failure, std::max(seconds, 0.0));
    KeepOutcome(folder.outcomes, {now, input, output, pages, seconds, std::move(failure)});
  });
}

void StatusBoard::passCompleted() {
  console_.passCompleted();
  change([&](DaemonStatus& status) {
    FolderStatus& folder = status.folders[0];
    folder.lastPass = std::chrono::steady_clock::now();
    folder.lastPassWall = std::chrono::system_clock::now();
    // Every file of the pass has ended: one still shown stayed for the next pass.
    folder.inHand.clear();
    folder.filesWaiting = 0;
    for (std::size_t lane = 0; lane < cycleLanes_; ++lane) status.lanes[lane] = {false, "idle"};
  });
}

void StatusBoard::percentDone(int percent) {
  console_.percentDone(percent);
  change([&](DaemonStatus& status) {
    for (FileInHand& file : status.folders[0].inHand) file.percent = percent;
  });
}

void StatusBoard::pageReached(int page) {
  console_.pageReached(page);
  change([&](DaemonStatus& status) {
    for (FileInHand& file : status.folders[0].inHand) file.page = page;
  });
}

}  // namespace vd::daemon
