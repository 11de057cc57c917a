// A built program of ours running as a separate process, as an operator would start it:
// standard output and errors go to a log file; the program is killed when the test ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vd::test {

class RunningProgram {
 public:
  // Starts program with the arguments; extraEnvironment is set in the child only. With an
  // errorLog, standard error goes there instead of into log.
  RunningProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& log,
                 const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {},
                 const std::string& errorLog = {});
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool running();
  void stop();
  pid_t pid() const { return pid_; }
  // Sends a signal to the program (not to its process group).
  void signal(int number);
  // The signal that ended the program, once running() has seen it end; 0 otherwise.
  int endingSignal() const { return endingSignal_; }
  // Waits for the program to end: its exit status, -1 when a signal ended it, -2 when
  // the bound passed first (the program is left running).
  int waitForExit(std::chrono::seconds bound);

 private:
  pid_t pid_ = -1;
  int exitCode_ = -1;
  int endingSignal_ = 0;
};

// Polls done() every 100 ms until it holds, the program ends, or the bound passes (the
// bound only keeps a broken program from hanging the test). Returns done().
bool WaitUntil(RunningProgram& program, const std::function<bool()>& done, std::chrono::seconds bound);

}  // namespace vd::test
