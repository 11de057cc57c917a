#include "ProcessLauncher.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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

class DetachedLauncher : public ProcessLauncher {
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

 private:
  static std::optional<StartedProgram> start(const std::string& program, const std::string& argumentText,
                                             const std::string* errorFile) {
    // Everything the children use is prepared before fork: after it only async-signal-safe
    // calls are made.
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argumentText.c_str()), nullptr};
    const char* errorPath = errorFile != nullptr ? errorFile->c_str() : nullptr;
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
    // The intermediate child tells the program's id through a pipe of its own, so it
    // cannot mix with the program's report of a failed start.
    int identity[2];
    if (pipe2(identity, O_CLOEXEC) != 0) {
      close(report[0]);
      close(report[1]);
      return std::nullopt;
    }
    const pid_t middle = fork();
    if (middle < 0) {
      for (const int fd : {report[0], report[1], identity[0], identity[1]}) close(fd);
      return std::nullopt;
    }
    if (middle == 0) {
      // The intermediate child ends at once, so the program is adopted by init and reaped
      // there: we never wait for it and it never lingers as a zombie.
      setsid();
      const pid_t program_pid = fork();
      if (program_pid != 0) {
        if (program_pid > 0) {
          ssize_t ignored = write(identity[1], &program_pid, sizeof program_pid);
          (void)ignored;
        }
        _exit(program_pid < 0 ? 1 : 0);
      }
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
      close(identity[0]);
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
    close(identity[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t programPid = 0;
    if (readRetryingInterrupts(identity[0], &programPid, sizeof programPid) != sizeof programPid) programPid = 0;
    close(identity[0]);
    // A program that has already ended (a quick failure) has no start time any more and
    // counts as ended from the start.
    StartedProgram started{programPid, programPid > 0 ? processStartTime(programPid) : std::string()};
    // The report pipe closes on a successful exec; a failed one writes its errno first.
    int error = 0;
    const ssize_t got = readRetryingInterrupts(report[0], &error, sizeof error);
    close(report[0]);
    if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0)) return std::nullopt;
    return started;
  }
};

}  // namespace

template <>
ProcessLauncher& Seam<ProcessLauncher>::defaultInstance() {
  static DetachedLauncher instance;
  return instance;
}

}  // namespace vd
