// vellumdk-testworker: a second kind of worker, made of nothing but its job handler, for the
// tests of the worker machinery. A job's first text names what to do (echo, report, exit,
// throw, sleep, crash, allocate, descriptors, child, garbage, pid; and what a confined worker
// must not do: read, write, link, connect, signal), the next ones its arguments; "narrowed
// INPUT FOLDER JOB..." runs JOB in a copy of the worker narrowed to those files, as the
// interpreter's worker runs each job. With VELLUMDOCK_TEST_CONFINED_WORKER=1 it confines
// itself as the interpreters' workers do.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "outside/worker/WorkerMain.h"
#include "outside/worker/WorkerProtocol.h"

namespace {

using vd::worker::JobReporter;

// What an attempt came to: "done", or the system's reason.
std::string outcome(bool done) { return done ? "done" : std::strerror(errno); }

// Connects to "tcp:PORT" on the loopback address or to "unix:PATH".
bool connectTo(const std::string& address) {
  const bool tcp = address.rfind("tcp:", 0) == 0;
  const int fd = socket(tcp ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int code;
  if (tcp) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(address.c_str() + 4)));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    code = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  } else {
    sockaddr_un to{};
    to.sun_family = AF_UNIX;
    std::strncpy(to.sun_path, address.c_str() + 5, sizeof to.sun_path - 1);
    code = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  const int error = errno;
  close(fd);
  errno = error;
  return code == 0;
}

int handleJob(const std::vector<std::string>& job, JobReporter& reporter);

int runNarrowed(const std::vector<std::string>& job, JobReporter& reporter) {
  const pid_t copy = fork();
  if (copy == 0) {
    const std::string why = vd::worker::narrowToJob({{job.at(1)}, {job.at(2)}});
    if (!why.empty()) {
      reporter.line("not narrowed: " + why);
      _exit(1);
    }
    _exit(handleJob(std::vector<std::string>(job.begin() + 3, job.end()), reporter));
  }
  int status = 0;
  while (waitpid(copy, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int handleJob(const std::vector<std::string>& job, JobReporter& reporter) {
  const std::string what = job.empty() ? "" : job[0];
  const std::string argument = job.size() > 1 ? job[1] : "";
  if (what == "echo") {
    for (std::size_t i = 1; i < job.size(); ++i) reporter.line(job[i]);
  } else if (what == "report") {
    reporter.report(argument.at(0), job.at(2));
  } else if (what == "exit") {
    return std::atoi(argument.c_str());
  } else if (what == "throw") {
    throw std::runtime_error(argument);
  } else if (what == "sleep") {
    usleep(static_cast<useconds_t>(std::atof(argument.c_str()) * 1e6));
  } else if (what == "crash") {
    std::ofstream(argument, std::ios::app) << "ran\n";
    // Ended by the signal itself, as by the kernel, not by a sanitizer's report of it.
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
  } else if (what == "allocate") {
    std::vector<std::unique_ptr<char[]>> kept;
    for (;;) {
      kept.emplace_back(new char[16 << 20]);
      std::memset(kept.back().get(), 1, 16 << 20);
    }
  } else if (what == "descriptors") {
    const std::string listing = "/proc/" + std::to_string(getpid()) + "/fd";  // the iterator's own
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code gone;
      const std::string target = std::filesystem::read_symlink(entry.path(), gone).string();
      if (!gone && target != listing) reporter.line(entry.path().filename().string() + " " + target);
    }
  } else if (what == "child") {
    const pid_t child = fork();
    if (child == 0) {
      for (;;) pause();
    }
    reporter.line(std::to_string(child));
    for (;;) pause();
  } else if (what == "garbage") {
    const char header[] = {'L', '\xff', '\xff', '\xff', '\xff'};
    if (write(vd::worker::kWorkerSocketFd, header, sizeof header) != static_cast<ssize_t>(sizeof header)) return 1;
    pause();
  } else if (what == "read") {
    std::ifstream file(argument);
    std::string line;
    if (file && std::getline(file, line)) {
      reporter.line("read: " + line);
    } else {
      reporter.line(outcome(false));
    }
  } else if (what == "write") {
    std::ofstream file(argument);
    reporter.line(outcome(file && (file << job.at(2)) && file.flush()));
  } else if (what == "link") {
    reporter.line(outcome(symlink(argument.c_str(), job.at(2).c_str()) == 0));
  } else if (what == "connect") {
    reporter.line(outcome(connectTo(argument)));
  } else if (what == "signal") {
    reporter.line(outcome(kill(static_cast<pid_t>(std::atol(argument.c_str())), 0) == 0));
  } else if (what == "narrowed") {
    return runNarrowed(job, reporter);
  } else if (what == "pid") {
    reporter.line(std::to_string(getpid()));
  } else {
    reporter.line("unknown job " + what);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* confined = std::getenv("VELLUMDOCK_TEST_CONFINED_WORKER");
  if (confined != nullptr && std::strcmp(confined, "1") == 0) {
    return vd::worker::serveConfinedJobs(argc, argv, vd::worker::ConfinementRules{}, handleJob);
  }
  return vd::worker::serveJobs(argc, argv, handleJob);
}
