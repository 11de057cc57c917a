#include "outside/worker/WorkerClient.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/Locations.h"
#include "common/PrivateDirectories.h"
#include "outside/worker/MemoryBound.h"
#include "outside/worker/WorkerProtocol.h"
#include "outside/worker/WorkerSpawn.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"

extern char** environ;

namespace vd {
namespace {

// How long one wait on the worker's socket lasts before the windows get their turn.
constexpr int kSliceMilliseconds = 50;
// How long a worker told to end may take before it is killed.
constexpr int kEndingGraceMilliseconds = 1000;

int parseCode(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || value < INT_MIN || value > INT_MAX) return -1;
  return static_cast<int>(value);
}

std::string secondsText(double seconds) {
  if (seconds == std::floor(seconds) && seconds < 1e15) return std::to_string(static_cast<long long>(seconds));
  std::ostringstream text;
  text << seconds;
  return text.str();
}

}  // namespace

WorkerClient::~WorkerClient() { stop(); }

std::string WorkerClient::programPath() const { return helperDir() + "/" + kind_.programName; }

std::shared_ptr<const TemporaryDirectory> WorkerClient::sharedFolder() {
  if (sharedFolder_) return sharedFolder_;
  // The folder carries the client's process id, so that one a killed client left behind
  // can be told from one in use, and goes at the next client's first start.
  static const bool sweptOnce = [] {
    RemoveLeftoversOfEndedProcesses(temporaryBase(), "vellumdock-worker-");
    return true;
  }();
  (void)sweptOnce;
  auto folder = std::make_shared<const TemporaryDirectory>("vellumdock-worker-" + std::to_string(getpid()));
  if (!folder->ok()) throw FileError("create a folder for " + programPath() + " in", temporaryBase(), std::strerror(errno));
  for (const char* part : {worker::kInputsPart, worker::kWorkPart}) {
    const std::string path = folder->path() + "/" + part;
    if (mkdir(path.c_str(), 0700) != 0) throw FileError("create", path, std::strerror(errno));
  }
  sharedFolder_ = std::move(folder);
  return sharedFolder_;
}

bool WorkerClient::start(const WorkerLimits& limits, std::string& why) {
  const std::string program = programPath();
  // The worker's temporary files go to a folder of its own, never to the shared one, and
  // that folder goes with the worker, whatever the worker left in it.
  std::string folder;
  try {
    folder = sharedFolder()->path();
  } catch (const FileError& error) {
    why = std::string("Cannot ") + error.what() + ".";
    return false;
  }
  static unsigned started = 0;
  temporaryFolder_ = folder + "/" + worker::kWorkPart + "/process-" + std::to_string(++started);
  if (mkdir(temporaryFolder_.c_str(), 0700) != 0) {
    why = "Cannot create a temporary folder for " + program + " in " + folder + ": " + std::strerror(errno) + ".";
    temporaryFolder_.clear();
    return false;
  }
  std::vector<std::string> environment{"TMPDIR=" + temporaryFolder_};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "TMPDIR=", 7) != 0) environment.emplace_back(*entry);
  }
  for (const std::string& variable : kind_.environmentDefaults) {
    const std::string name = variable.substr(0, variable.find('='));
    if (std::getenv(name.c_str()) == nullptr) environment.push_back(variable);
  }
  worker::prepareMemoryBound(environment, limits.memoryMegabytes);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  worker::StartedWorker process;
  worker::WorkerStartFailure failure;
  if (!worker::startWorkerProcess(program, envp.data(), {worker::kFolderOption + folder}, process, failure)) {
    removeTemporaryFolder();
    why = (failure.atSocket ? "Cannot create the socket to " + program : "Cannot start " + program) + ": " +
          std::strerror(failure.error) + ".";
    return false;
  }
  pid_ = process.pid;
  socket_ = process.socket;
  jobsDone_ = 0;
  startedWithMemory_ = limits.memoryMegabytes;
  // Set before the worker is given anything to do, so every job runs under it.
  if (!worker::boundMemory(pid_, limits.memoryMegabytes)) {
    why = "Cannot bound the memory of " + program + ": " + std::strerror(errno) + ".";
    discard();
    return false;
  }
  return true;
}

bool WorkerClient::idleWorkerAlive() const {
  if (worker::hasEnded(pid_)) return false;
  // An idle worker says nothing; anything to read (or a hang-up) means it is going.
  pollfd probe{socket_, POLLIN, 0};
  return ::poll(&probe, 1, 0) == 0;
}

int WorkerClient::discard() {
  if (pid_ == 0) return 0;
  const int status = worker::killWorkerGroup(pid_);
  close(socket_);
  socket_ = -1;
  pid_ = 0;
  jobsDone_ = 0;
  removeTemporaryFolder();
  return status;
}

void WorkerClient::removeTemporaryFolder() {
  if (temporaryFolder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(temporaryFolder_, ignored);
  temporaryFolder_.clear();
}

void WorkerClient::stop() {
  endWorker();
  // Jobs still holding their files keep the folder until they are done.
  sharedFolder_.reset();
}

void WorkerClient::endWorker() {
  if (pid_ == 0) return;
  // Closing its socket tells an idle worker to end.
  close(socket_);
  socket_ = -1;
  for (int waited = 0; waited < kEndingGraceMilliseconds && !worker::hasEnded(pid_); waited += 10) usleep(10000);
  // Whatever is left of it or of what it started goes now.
  worker::killWorkerGroup(pid_);
  pid_ = 0;
  jobsDone_ = 0;
  removeTemporaryFolder();
}

JobOutcome WorkerClient::run(const std::vector<std::string>& job, JobListener* listener) {
  return run(job, kind_.limits.overriddenByEnvironment(), listener);
}

JobOutcome WorkerClient::run(const std::vector<std::string>& job, const WorkerLimits& limits, JobListener* listener) {
  JobOutcome outcome;
  if (busy_) {
    outcome.failure = kind_.title + " is busy with another job.";
    return outcome;
  }
  busy_ = true;
  struct BusyReset {
    bool& flag;
    ~BusyReset() { flag = false; }
  } busyReset{busy_};

  if (pid_ != 0 && (startedWithMemory_ != limits.memoryMegabytes ||
                    (limits.jobsPerWorker > 0 && jobsDone_ >= limits.jobsPerWorker))) {
    endWorker();
  }
  const std::string request = worker::encodeFrame(worker::kJobFrame, worker::packTexts(job));
  const double deadline = clock().seconds() + limits.jobSeconds;
  // A warm worker can die while idle and be found out only after it was sent the job; a
  // job it never accepted goes to one fresh worker.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (pid_ != 0 && !idleWorkerAlive()) discard();
    if (pid_ == 0 && !start(limits, outcome.failure)) return outcome;
    if (!worker::sendAll(socket_, request)) {
      discard();
      continue;
    }
    switch (exchange(deadline, listener, outcome)) {
      case Exchange::Finished:
        ++jobsDone_;
        outcome.ending = JobOutcome::Ending::Finished;
        return outcome;
      case Exchange::NotAccepted:
        continue;
      case Exchange::TimedOut:
        outcome.ending = JobOutcome::Ending::TimedOut;
        outcome.failure = "The job did not finish within " + secondsText(limits.jobSeconds) + " seconds and was stopped.";
        return outcome;
      case Exchange::Died:
      case Exchange::Damaged:
        outcome.ending = JobOutcome::Ending::WorkerDied;
        return outcome;
    }
  }
  outcome.failure = kind_.title + " could not run the job.";
  return outcome;
}

WorkerClient::Exchange WorkerClient::exchange(double deadline, JobListener* listener, JobOutcome& outcome) {
  worker::FrameDecoder decoder;
  bool accepted = false;
  char buffer[65536];
  for (;;) {
    try {
      while (auto frame = decoder.next()) {
        switch (frame->type) {
          case worker::kAcceptedFrame:
            accepted = true;
            break;
          case worker::kLineFrame:
            if (listener != nullptr) listener->onLine(frame->payload);
            break;
          case worker::kEndFrame:
            outcome.code = parseCode(frame->payload);
            return Exchange::Finished;
          default:
            if (listener != nullptr) listener->onReport(frame->type, frame->payload);
            break;
        }
      }
    } catch (const std::exception& error) {
      discard();
      outcome.failure = kind_.title + " sent a damaged message: " + error.what();
      return Exchange::Damaged;
    }

    pollfd waitFor{socket_, POLLIN, 0};
    if (::poll(&waitFor, 1, kSliceMilliseconds) > 0) {
      const ssize_t n = read(socket_, buffer, sizeof buffer);
      if (n > 0) {
        decoder.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        const int status = discard();
        if (!accepted) return Exchange::NotAccepted;
        if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
          outcome.failure = kind_.title + " stopped unexpectedly (signal " + std::to_string(WTERMSIG(status)) +
                            "); the job ran out of memory or the input is damaged.";
        } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
          outcome.failure =
              kind_.title + " stopped unexpectedly (exit code " + std::to_string(WEXITSTATUS(status)) + ").";
        } else {
          outcome.failure = kind_.title + " stopped unexpectedly.";
        }
        return Exchange::Died;
      }
    }
    eventPump().processEvents();
    if (clock().seconds() >= deadline) {
      discard();
      return Exchange::TimedOut;
    }
  }
}

}  // namespace vd
