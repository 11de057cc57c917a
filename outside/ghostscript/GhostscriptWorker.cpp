#include "outside/ghostscript/GhostscriptWorker.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "outside/ghostscript/WorkerProtocol.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"

extern char** environ;

namespace vd {
namespace {

// How long one wait on the worker's socket lasts before the windows get their turn.
constexpr int kSliceMilliseconds = 50;

double environmentNumber(const char* name, double fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return (end != text && value > 0) ? value : fallback;
}

int parseInt(const std::string& text, int fallback) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || value < INT32_MIN || value > INT32_MAX) return fallback;
  return static_cast<int>(value);
}

}  // namespace

WorkerBounds WorkerBounds::fromEnvironment() {
  WorkerBounds bounds;
  bounds.timeoutSeconds = environmentNumber("VELLUMDOCK_JOB_TIMEOUT", bounds.timeoutSeconds);
  bounds.memoryMegabytes =
      static_cast<long long>(environmentNumber("VELLUMDOCK_JOB_MEMORY_MB", static_cast<double>(bounds.memoryMegabytes)));
  return bounds;
}

GhostscriptWorker& sharedGhostscriptWorker() {
  static GhostscriptWorker worker(GhostscriptWorkerPath());
  return worker;
}

GhostscriptWorker::~GhostscriptWorker() {
  if (pid_ == 0) return;
  // Closing the socket ends an idle worker; one that does not end soon is killed.
  close(socket_);
  socket_ = -1;
  for (int i = 0; i < 20; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = 0;
      return;
    }
    usleep(10000);
  }
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = 0;
}

bool GhostscriptWorker::start(const WorkerBounds& bounds, std::string& why) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    why = std::string("cannot create the worker socket: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 onto fd 3 clears close-on-exec, so only the worker's end crosses exec.
  posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Nothing else of ours reaches the worker, whoever opened it without close-on-exec.
  posix_spawn_file_actions_addclosefrom_np(&actions, 4);
  const std::string memoryArgument = "--memory-mb=" + std::to_string(bounds.memoryMegabytes);
  char* argv[] = {const_cast<char*>(programPath_.c_str()), const_cast<char*>(memoryArgument.c_str()), nullptr};
  pid_t pid = 0;
  const int code = posix_spawn(&pid, programPath_.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (code != 0) {
    close(ends[0]);
    why = "cannot start " + programPath_ + ": " + std::strerror(code);
    return false;
  }
  pid_ = pid;
  socket_ = ends[0];
  startedWithMemory_ = bounds.memoryMegabytes;
  return true;
}

bool GhostscriptWorker::idleWorkerAlive() {
  if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
    // Already reaped: forget it without signalling a process id that may be reused.
    close(socket_);
    socket_ = -1;
    pid_ = 0;
    return false;
  }
  // An idle worker says nothing; anything to read (or a hang-up) means it is gone.
  pollfd probe{socket_, POLLIN, 0};
  return ::poll(&probe, 1, 0) == 0;
}

void GhostscriptWorker::kill() {
  if (pid_ == 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  close(socket_);
  socket_ = -1;
  pid_ = 0;
}

GhostscriptResult GhostscriptWorker::run(const std::vector<std::string>& arguments, const std::string& progressFile,
                                         const WorkerBounds& bounds, GhostscriptProgress* progress) {
  GhostscriptResult result;
  if (busy_) {
    result.messages = "The PostScript interpreter is busy with another job.\n";
    return result;
  }
  busy_ = true;
  struct BusyReset {
    bool& flag;
    ~BusyReset() { flag = false; }
  } busyReset{busy_};

  auto note = [&](const std::string& line) {
    result.messages += line + "\n";
    if (progress != nullptr) progress->onMessage(line);
  };

  if (pid_ != 0 && startedWithMemory_ != bounds.memoryMegabytes) kill();
  std::vector<std::string> texts{progressFile};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  const std::string job = gsworker::encodeFrame('J', gsworker::packTexts(texts));
  const double deadline = clock().seconds() + bounds.timeoutSeconds;
  // A warm worker can die while idle and be found out only after it took the job; a job
  // it never started gets one fresh worker.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (pid_ != 0 && !idleWorkerAlive()) kill();
    if (pid_ == 0) {
      std::string why;
      if (!start(bounds, why)) {
        note(why);
        return result;
      }
    }
    if (!gsworker::sendAll(socket_, job)) {
      kill();
      continue;
    }
    bool heardFromJob = false;
    const Ending ending = receive(deadline, progress, note, result, heardFromJob);
    if (ending == Ending::Finished) return result;
    if (ending == Ending::TimedOut) {
      note("The job did not finish within " + std::to_string(static_cast<long long>(bounds.timeoutSeconds)) +
           " seconds and was stopped.");
      return result;
    }
    if (ending == Ending::Died && heardFromJob) return result;
  }
  note("The PostScript interpreter could not run the job.");
  return result;
}

GhostscriptWorker::Ending GhostscriptWorker::receive(double deadline, GhostscriptProgress* progress,
                                                     const std::function<void(const std::string&)>& note,
                                                     GhostscriptResult& result, bool& heardFromJob) {
  gsworker::FrameDecoder decoder;
  char buffer[65536];
  for (;;) {
    try {
      while (auto frame = decoder.next()) {
        heardFromJob = true;
        switch (frame->type) {
          case 'L':
            note(frame->payload);
            break;
          case 'G':
            if (progress != nullptr) progress->onPage(parseInt(frame->payload, 0));
            break;
          case 'P':
            if (progress != nullptr) progress->onPercent(parseInt(frame->payload, 0));
            break;
          case 'E':
            result.ok = parseInt(frame->payload, -1) == 0;
            if (result.ok && progress != nullptr) progress->onPercent(100);
            return Ending::Finished;
          default:
            break;
        }
      }
    } catch (const std::exception& error) {
      kill();
      note(std::string("The PostScript interpreter sent a damaged message: ") + error.what());
      heardFromJob = true;
      return Ending::Died;
    }

    pollfd waitFor{socket_, POLLIN, 0};
    if (::poll(&waitFor, 1, kSliceMilliseconds) > 0) {
      const ssize_t n = read(socket_, buffer, sizeof buffer);
      if (n > 0) {
        decoder.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        int status = 0;
        ::kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        close(socket_);
        socket_ = -1;
        pid_ = 0;
        if (heardFromJob) {
          if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
            note("The PostScript interpreter stopped unexpectedly (signal " + std::to_string(WTERMSIG(status)) +
                 "); the job ran out of memory or the input is damaged.");
          } else {
            note("The PostScript interpreter stopped unexpectedly.");
          }
        }
        return Ending::Died;
      }
    }
    eventPump().processEvents();
    if (clock().seconds() >= deadline) {
      kill();
      return Ending::TimedOut;
    }
  }
}

}  // namespace vd
