// vellumdk-testworker: a second kind of worker, made of nothing but its job handler, for the
// tests of the worker machinery. A job's first text names what to do (echo, report, exit,
// throw, sleep, crash, allocate, descriptors, child, garbage, pid), the next ones its arguments.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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
  } else if (what == "pid") {
    reporter.line(std::to_string(getpid()));
  } else {
    reporter.line("unknown job " + what);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return vd::worker::serveJobs(argc, argv, handleJob); }
