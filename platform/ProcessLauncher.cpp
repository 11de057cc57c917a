#include "ProcessLauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/ProcessIdentity.h"

namespace vd {
namespace {

ssize_t readRetryingInterrupts(int fd, void* buffer, std::size_t size) {
  ssize_t got;
  do {
    got = read(fd, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

class JobHelperLauncher : public ProcessLauncher {
 public:
  bool startHidden(const std::string& program, const std::string& argumentText) override {
    return start(program, argumentText, nullptr).has_value();
  }

  std::optional<StartedProgram> startWatched(const std::string& program, const std::string& argumentText,
                                             const std::string& errorFile) override {
    return start(program, argumentText, &errorFile);
  }

  bool isRunning(const StartedProgram& started) override {
    return started.pid == 0 || processRunning(started.pid, started.startTime);
  }

  void endAllStarted() override {
    std::vector<pid_t> started;
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      started.swap(started_);
    }
    for (const pid_t pid : started) {
      // Not reaped until now, so neither its id nor its group's can belong to another
      // process: the kill reaches only what this job started.
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }

 private:
  std::optional<StartedProgram> start(const std::string& program, const std::string& argumentText,
                                      const std::string* errorFile) {
    // Everything the child uses is prepared before fork: after it only async-signal-safe
    // calls are made.
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argumentText.c_str()), nullptr};
    const char* errorPath = errorFile != nullptr ? errorFile->c_str() : nullptr;
    const pid_t parent = getpid();
    sigset_t none;
    sigemptyset(&none);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = fork();
    if (pid < 0) {
      close(report[0]);
      close(report[1]);
      return std::nullopt;
    }
    if (pid == 0) {
      // A session and process group of its own: a terminal's Ctrl-C does not reach it, and
      // the end of the job kills the group. It dies with the thread that started it, so a
      // killed program leaves no helper behind; one whose starter is gone already goes now.
      setsid();
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (null > 2) close(null);
      }
      if (errorPath != nullptr) {
        const int errors = open(errorPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
        if (errors >= 0) {
          dup2(errors, 2);
          if (errors != 2) close(errors);
        }
      }
      close(report[0]);
      // The program gets standard input and output and nothing else of ours: descriptors
      // opened without close-on-exec (by a library, by whoever started us) would stay open
      // for as long as the helper lives.
      if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 4096; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
      }
      execv(argv[0], argv);
      const int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    close(report[1]);
    // The report pipe closes on a successful exec; a failed one writes its errno first.
    int error = 0;
    const ssize_t got = readRetryingInterrupts(report[0], &error, sizeof error);
    close(report[0]);
    if (got != 0) {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
      return std::nullopt;
    }
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      started_.push_back(pid);
    }
    // A program that has already ended (a quick failure) has no start time any more and
    // counts as ended from the start.
    return StartedProgram{pid, processStartTime(pid)};
  }

  std::mutex mutex_;
  // Started and not yet reaped.
  std::vector<pid_t> started_;
};

}  // namespace

template <>
ProcessLauncher& Seam<ProcessLauncher>::defaultInstance() {
  static JobHelperLauncher instance;
  return instance;
}

}  // namespace vd
