// A built program of ours running as a separate process, as an operator would start it:
// standard output and errors go to a log file; the program is killed when the test ends.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vd::test {

class RunningProgram {
 public:
  // Starts program with the arguments; extraEnvironment is set in the child only. With an
  // errorLog, standard error goes there instead of into log; with a workingDirectory, the
  // program runs there.
  RunningProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& log,
                 const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {},
                 const std::string& errorLog = {}, const std::string& workingDirectory = {}) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ != 0) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (const auto& [name, value] : extraEnvironment) setenv(name.c_str(), value.c_str(), 1);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(127);
    if (std::freopen(log.c_str(), "a", stdout) != nullptr &&
        std::freopen((errorLog.empty() ? log : errorLog).c_str(), "a", stderr) != nullptr) {
      execv(program.c_str(), argv.data());
    }
    _exit(127);
  }
  ~RunningProgram() { stop(); }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool running() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return pid_ > 0;
    pid_ = -1;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (WIFSIGNALED(status)) endingSignal_ = WTERMSIG(status);
    return false;
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid() const { return pid_; }
  // Sends a signal to the program (not to its process group).
  void signal(int number) {
    if (pid_ > 0) kill(pid_, number);
  }
  // The signal that ended the program, once running() has seen it end; 0 otherwise.
  int endingSignal() const { return endingSignal_; }
  // Waits for the program to end: its exit status, -1 when a signal ended it, -2 when
  // the bound passed first (the program is left running).
  int waitForExit(std::chrono::seconds bound) {
    const auto giveUp = std::chrono::steady_clock::now() + bound;
    while (running()) {
      if (std::chrono::steady_clock::now() >= giveUp) return -2;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return exitCode_;
  }

 private:
  pid_t pid_ = -1;
  int exitCode_ = -1;
  int endingSignal_ = 0;
};

// Polls done() every 100 ms until it holds, the program ends, or the bound passes (the
// bound only keeps a broken program from hanging the test). Returns done().
inline bool WaitUntil(RunningProgram& program, const std::function<bool()>& done, std::chrono::seconds bound) {
  const auto giveUp = std::chrono::steady_clock::now() + bound;
  while (!done() && program.running() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

}  // namespace vd::test
