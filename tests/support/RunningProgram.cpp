#include "support/RunningProgram.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vd::test {

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& log,
                               const std::vector<std::pair<std::string, std::string>>& extraEnvironment,
                               const std::string& errorLog) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (const auto& [name, value] : extraEnvironment) setenv(name.c_str(), value.c_str(), 1);
    if (std::freopen(log.c_str(), "a", stdout) == nullptr || std::freopen((errorLog.empty() ? log : errorLog).c_str(), "a", stderr) == nullptr) {
      _exit(126);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
}

RunningProgram::~RunningProgram() { stop(); }

bool RunningProgram::running() {
  int status = 0;
  if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return pid_ > 0;
  pid_ = -1;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (WIFSIGNALED(status)) endingSignal_ = WTERMSIG(status);
  return false;
}

void RunningProgram::signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

void RunningProgram::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

int RunningProgram::waitForExit(std::chrono::seconds bound) {
  const auto giveUp = std::chrono::steady_clock::now() + bound;
  while (running()) {
    if (std::chrono::steady_clock::now() >= giveUp) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return exitCode_;
}

bool WaitUntil(RunningProgram& program, const std::function<bool()>& done, std::chrono::seconds bound) {
  const auto giveUp = std::chrono::steady_clock::now() + bound;
  while (!done() && program.running() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

}  // namespace vd::test
