#include "outside/worker/WorkerMain.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "outside/worker/MemoryBound.h"
#include "outside/worker/WorkerProtocol.h"

namespace vd::worker {
namespace {

// Frames from the handler's threads must not interleave.
std::mutex sendLock;

bool sendFrame(char type, const std::string& payload) {
  const std::lock_guard<std::mutex> hold(sendLock);
  return sendAll(kWorkerSocketFd, encodeFrame(type, payload));
}

// The client that started this worker: given as --client=PID.
pid_t clientOf(int argc, char** argv) {
  const std::string prefix = "--client=";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind(prefix, 0) == 0) return static_cast<pid_t>(std::atol(argument.c_str() + prefix.size()));
  }
  return 0;
}

// The worker's process group, when it leads one (as its client starts it); 0 otherwise.
volatile pid_t ownGroup = 0;

// The client is gone: whatever this worker started (an office suite and its launcher)
// goes with it, not only the worker.
void endWithWhatWasStarted(int) {
  if (ownGroup != 0) kill(-ownGroup, SIGKILL);
  _exit(1);
}

std::string optionValue(int argc, char** argv, const std::string& prefix) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return argv[i] + prefix.size();
  }
  return "";
}

bool hasOption(int argc, char** argv, const char* option) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], option) == 0) return true;
  }
  return false;
}

// Confines a child in a folder of its own made for the purpose and says how that went.
int probeConfinement(ConfinementRules rules) {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/vellumdock-probe-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    std::printf("cannot make a folder to try confinement in: %s\n", std::strerror(errno));
    return 1;
  }
  for (const char* part : {kInputsPart, kWorkPart}) mkdir((folder + "/" + part).c_str(), 0700);
  std::fflush(stdout);
  rules.folder = folder;
  const pid_t child = fork();
  if (child == 0) {
    const std::string why = confineThisProcess(rules);
    std::printf("%s\n", why.empty() ? "confined" : why.c_str());
    std::fflush(stdout);
    _exit(why.empty() ? 0 : 1);
  }
  int status = 1;
  if (child > 0) {
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

std::string outOfMemoryText() {
  const long long bound = memoryBoundMegabytes();
  return "The job ran out of memory" + (bound > 0 ? " (the bound is " + std::to_string(bound) + " MiB)" : "") + ".";
}

// Where running out of memory ends the process instead of throwing (MemoryBound.h), the job
// ends as the std::bad_alloc below ends it, with frames made while memory was there.
std::string outOfMemoryFrames;
std::atomic<bool> jobRunning{false};

void endJobOutOfMemory() {
  if (!jobRunning) return;
  sendAll(kWorkerSocketFd, outOfMemoryFrames);
  _exit(3);
}

}  // namespace

bool JobReporter::line(const std::string& text) { return sendFrame(kLineFrame, text); }

bool JobReporter::report(char type, const std::string& payload) {
  if (type == kJobFrame || type == kAcceptedFrame || type == kLineFrame || type == kEndFrame) {
    throw std::invalid_argument(std::string("frame type '") + type + "' belongs to the worker machinery");
  }
  return sendFrame(type, payload);
}

int serveJobs(int argc, char** argv, const JobHandler& handler, const BetweenJobs& betweenJobs) {
  // The worker ends with its client, even in the middle of a job, and takes its group.
  if (getpgrp() == getpid()) ownGroup = getpid();
  signal(SIGTERM, endWithWhatWasStarted);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  const pid_t client = clientOf(argc, argv);
  if (client != 0 && getppid() != client) return 0;
  signal(SIGPIPE, SIG_IGN);

  whenAllocatorRunsOut(endJobOutOfMemory);
  if (betweenJobs) betweenJobs();
  FrameDecoder decoder;
  char buffer[65536];
  for (;;) {
    std::optional<Frame> frame;
    try {
      frame = decoder.next();
    } catch (const std::exception&) {
      return 2;
    }
    if (!frame) {
      const ssize_t n = read(kWorkerSocketFd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return 0;  // the client is gone
      decoder.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (frame->type != kJobFrame) continue;
    std::vector<std::string> job;
    try {
      job = unpackTexts(frame->payload);
    } catch (const std::exception&) {
      return 2;
    }
    if (!sendFrame(kAcceptedFrame, {})) return 0;
    JobReporter reporter;
    int code = -1;
    bool outOfMemory = false;
    // Made here, not at the start: the client bounds the worker after starting it.
    outOfMemoryFrames = encodeFrame(kLineFrame, outOfMemoryText()) + encodeFrame(kEndFrame, "-1");
    jobRunning = true;
    try {
      code = handler(job, reporter);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    } catch (const std::exception& error) {
      reporter.line(error.what());
    }
    jobRunning = false;
    if (outOfMemory) {
      // Whatever the handler's libraries hold may be in pieces: a fresh worker takes over.
      const std::lock_guard<std::mutex> hold(sendLock);
      sendAll(kWorkerSocketFd, outOfMemoryFrames);
      return 3;
    }
    if (!sendFrame(kEndFrame, std::to_string(code))) return 0;
    if (betweenJobs) betweenJobs();
  }
}

int serveConfinedJobs(int argc, char** argv, ConfinementRules rules, const JobHandler& handler,
                      const BetweenJobs& betweenJobs) {
  if (hasOption(argc, argv, kProbeOption)) return probeConfinement(std::move(rules));
  rules.folder = optionValue(argc, argv, kFolderOption);
  const std::string why = rules.folder.empty() ? "its client gave it no folder" : confineThisProcess(rules);
  if (why.empty() || !confinementRequired()) return serveJobs(argc, argv, handler, betweenJobs);
  const std::string refusal = "The kernel cannot confine the interpreter (" + why +
                              "), and VELLUMDOCK_REQUIRE_CONFINEMENT=1 lets no interpreter run unconfined.";
  return serveJobs(argc, argv, [&refusal](const std::vector<std::string>&, JobReporter& reporter) {
    reporter.line(refusal);
    return -1;
  });
}

}  // namespace vd::worker
