#include "server/daemon/LanePool.h"

#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "common/Environment.h"
#include "outside/worker/WorkerLimits.h"
#include "outside/worker/WorkerSpawn.h"
#include "server/lane/LaneReports.h"

namespace vd::daemon {
namespace {

// How long an idle lane told to end may take before it is killed.
constexpr int kEndingGraceMilliseconds = 2000;

std::string endingOf(int status) {
  if (WIFSIGNALED(status)) return " (signal " + std::to_string(WTERMSIG(status)) + ")";
  if (WIFEXITED(status)) return " (exit code " + std::to_string(WEXITSTATUS(status)) + ")";
  return "";
}

}  // namespace

double LaneJobBoundSeconds() {
  const double step = std::max(WorkerLimits{}.overriddenByEnvironment().jobSeconds,
                               positiveEnvironmentNumber("VELLUMDOCK_SETTLE_TIMEOUT", 600));
  // A margin for what no step's bound covers: starting a fresh lane's engine, joining a
  // script's parts, a busy machine.
  return 2 * step * 1.1 + 5;
}

LanePool::LanePool(std::size_t count, std::string program)
    : program_(std::move(program)),
      bound_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(LaneJobBoundSeconds()))),
      lanes_(count) {}

LanePool::~LanePool() {
  // Closing its socket tells an idle lane to end; its engine then ends its own workers.
  for (Lane& lane : lanes_) {
    if (lane.pid == 0) continue;
    close(lane.socket);
    lane.socket = -1;
  }
  for (int waited = 0; waited < kEndingGraceMilliseconds; waited += 10) {
    if (std::all_of(lanes_.begin(), lanes_.end(),
                    [](const Lane& lane) { return lane.pid == 0 || worker::hasEnded(lane.pid); })) {
      break;
    }
    usleep(10000);
  }
  abandon();
}

bool LanePool::spawn(Lane& lane, std::string& why) {
  worker::StartedWorker started;
  worker::WorkerStartFailure failure;
  if (!worker::startWorkerProcess(program_, nullptr, {}, started, failure)) {
    const std::string reason = std::strerror(failure.error);
    why = failure.atSocket ? "Cannot create the socket to a conversion lane: " + reason + "."
                           : "Cannot start the conversion lane " + program_ + ": " + reason + ".";
    return false;
  }
  lane.pid = started.pid;
  lane.socket = started.socket;
  lane.decoder = worker::FrameDecoder();
  return true;
}

int LanePool::kill(Lane& lane) {
  if (lane.pid == 0) return 0;
  const int status = worker::killWorkerGroup(lane.pid);
  if (lane.socket >= 0) close(lane.socket);
  lane.socket = -1;
  lane.pid = 0;
  lane.busy = false;
  return status;
}

void LanePool::abandon() {
  for (Lane& lane : lanes_) kill(lane);
}

std::vector<pid_t> LanePool::pids() const {
  std::vector<pid_t> pids;
  for (const Lane& lane : lanes_) {
    if (lane.pid != 0) pids.push_back(lane.pid);
  }
  return pids;
}

std::optional<std::string> LanePool::start(std::size_t index, const LaneJob& job) {
  Lane& lane = lanes_.at(index);
  if (lane.busy) throw std::logic_error("a conversion lane was given a second job");
  // A warm lane that ended while idle is replaced before it is given the file.
  if (lane.pid != 0 && worker::hasEnded(lane.pid)) {
    kill(lane);
    ++lost_;
  }
  std::string why;
  if (lane.pid == 0 && !spawn(lane, why)) return why;
  const std::vector<std::string> texts{job.out,          job.in,          job.ext,
                                       job.security ? "1" : "0", job.inputDir,    job.replacedPdf,
                                       job.replacedPdfAside,     job.ocrLanguages, job.ocrRotate ? "1" : "0"};
  lane.busy = true;
  lane.failure.clear();
  lane.verified.reset();
  lane.deadline = Clock::now() + bound_;
  // A lane that cannot be written to is found out as dead by the next wait.
  worker::sendAll(lane.socket, worker::encodeFrame(worker::kJobFrame, worker::packTexts(texts)));
  return std::nullopt;
}

LaneFinished LanePool::died(std::size_t index) {
  const int status = kill(lanes_[index]);
  ++lost_;
  return LaneFinished{index, ConversionOutcome::failed("The conversion lane stopped unexpectedly" + endingOf(status) +
                                                       "; the file may have made it run out of memory or be damaged.")};
}

std::optional<LaneFinished> LanePool::takeFrames(std::size_t index,
                                                 const std::function<void(std::size_t, const std::string&)>& onLine) {
  Lane& lane = lanes_[index];
  try {
    while (const std::optional<worker::Frame> frame = lane.decoder.next()) {
      lane.deadline = Clock::now() + bound_;  // a sign of progress
      switch (frame->type) {
        case worker::kLineFrame:
          if (onLine) onLine(index, frame->payload);
          break;
        case lane::kFailureReport:
          lane.failure = frame->payload;
          break;
        case lane::kVerifiedReport: lane.verified = lane::parseVerified(frame->payload); break;
        case worker::kEndFrame: {
          lane.busy = false;
          if (frame->payload == "0" && lane.verified) return LaneFinished{index, {std::nullopt, lane.verified, false}};
          if (lane.failure.empty()) lane.failure = "The conversion failed in its lane (code " + frame->payload + ").";
          return LaneFinished{index, ConversionOutcome::failed(lane.failure)};
        }
        default:
          break;
      }
    }
  } catch (const std::exception&) {
    return died(index);
  }
  return std::nullopt;
}

std::optional<LaneFinished> LanePool::endOverdue() {
  const Clock::time_point now = Clock::now();
  for (std::size_t index = 0; index < lanes_.size(); ++index) {
    Lane& lane = lanes_[index];
    if (!lane.busy || now < lane.deadline) continue;
    kill(lane);
    ++lost_;
    return LaneFinished{index, ConversionOutcome::failed(
                                   "The conversion did not finish within " +
                                   std::to_string(static_cast<long long>(LaneJobBoundSeconds())) +
                                   " seconds (its steps' bounds and a margin): its lane hung, stopped or stuck on a "
                                   "file system, and was ended; a fresh lane takes the next file.")};
  }
  return std::nullopt;
}

int LanePool::untilNearestDeadline(int limit) const {
  const Clock::time_point now = Clock::now();
  long long nearest = limit;
  for (const Lane& lane : lanes_) {
    if (!lane.busy) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lane.deadline - now).count() + 1;
    nearest = std::min(nearest, std::max(0LL, static_cast<long long>(left)));
  }
  return static_cast<int>(nearest);
}

std::optional<LaneFinished> LanePool::wait(int milliseconds,
                                           const std::function<void(std::size_t, const std::string&)>& onLine) {
  // Frames already read come first: poll would not wake for them.
  for (std::size_t index = 0; index < lanes_.size(); ++index) {
    if (!lanes_[index].busy) continue;
    if (std::optional<LaneFinished> finished = takeFrames(index, onLine)) return finished;
  }
  if (std::optional<LaneFinished> overdue = endOverdue()) return overdue;
  milliseconds = untilNearestDeadline(milliseconds);
  std::vector<pollfd> watched;
  std::vector<std::size_t> watchedLanes;
  for (std::size_t index = 0; index < lanes_.size(); ++index) {
    if (!lanes_[index].busy) continue;
    watched.push_back(pollfd{lanes_[index].socket, POLLIN, 0});
    watchedLanes.push_back(index);
  }
  if (watched.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return std::nullopt;
  }
  // A signal cuts the wait short; the caller looks at its events and waits again.
  if (::poll(watched.data(), watched.size(), milliseconds) <= 0) return std::nullopt;
  char buffer[65536];
  for (std::size_t k = 0; k < watched.size(); ++k) {
    if (watched[k].revents == 0) continue;
    const std::size_t index = watchedLanes[k];
    const ssize_t n = read(lanes_[index].socket, buffer, sizeof buffer);
    if (n > 0) {
      lanes_[index].decoder.append(buffer, static_cast<std::size_t>(n));
      if (std::optional<LaneFinished> finished = takeFrames(index, onLine)) return finished;
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      return died(index);
    }
  }
  return std::nullopt;
}

std::size_t DefaultLaneCount() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  long cores = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : sysconf(_SC_NPROCESSORS_ONLN);
  if (cores < 1) cores = 1;
  long long availableKiB = -1;
  std::ifstream meminfo("/proc/meminfo");
  for (std::string key; meminfo >> key;) {
    long long value = 0;
    meminfo >> value;
    if (key == "MemAvailable:") {
      availableKiB = value;
      break;
    }
    meminfo.ignore(256, '\n');
  }
  long long lanes = cores;
  if (availableKiB >= 0) lanes = std::min(lanes, availableKiB / (1024LL * 1024LL));
  return static_cast<std::size_t>(std::max(1LL, lanes));
}

}  // namespace vd::daemon
