#include "ProcessLauncher.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vd {
namespace {

class DetachedLauncher : public ProcessLauncher {
 public:
  bool startHidden(const std::string& program, const std::string& argumentText) override {
    // Everything the children use is prepared before fork: after it only async-signal-safe
    // calls are made.
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argumentText.c_str()), nullptr};
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t middle = fork();
    if (middle < 0) {
      close(report[0]);
      close(report[1]);
      return false;
    }
    if (middle == 0) {
      // The intermediate child ends at once, so the program is adopted by init and reaped
      // there: we never wait for it and it never lingers as a zombie.
      setsid();
      const pid_t program_pid = fork();
      if (program_pid != 0) _exit(program_pid < 0 ? 1 : 0);
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (null > 2) close(null);
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
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // The report pipe closes on a successful exec; a failed one writes its errno first.
    int error = 0;
    ssize_t got;
    do {
      got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
  }
};

}  // namespace

template <>
ProcessLauncher& Seam<ProcessLauncher>::defaultInstance() {
  static DetachedLauncher instance;
  return instance;
}

}  // namespace vd
