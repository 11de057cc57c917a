// The built programs in a scratch world after set-up: an input and an output folder, what
// they printed line by line, a job that keeps the interpreter busy, command lines run
// against their expected outcome, and the processes the world's programs left.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/Locations.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ProcessChecks.h"
#include "support/RunningProgram.h"

namespace vd::test {

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// PostScript that keeps the interpreter busy for the given time before it shows its page.
inline std::string slowJob(int milliseconds, const std::string& text) {
  return "%!PS\n/started realtime def\n{ realtime started sub " + std::to_string(milliseconds) +
         " gt { exit } if } loop\n/Helvetica findfont 24 scalefont setfont 72 700 moveto (" + text +
         ") show showpage\n";
}

// A command line with its exit code and a text its standard output and error must hold.
struct CommandLine {
  std::vector<std::string> arguments;
  int exitCode;
  std::string inOutput;
  std::string inErrors;
};

class ProgramFixture : public testing::Test {
 protected:
  explicit ProgramFixture(const std::string& name) : name_(name), program_(std::string(VD_BUILD_PROGRAM_DIR) + "/" + name) {}

  void SetUp() override {
    ASSERT_EQ(access(program_.c_str(), X_OK), 0) << program_;
    runSetup(environment_);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(ensureDirectory(input_));
    ASSERT_TRUE(ensureDirectory(output_));
  }

  // A refusal says so on standard error under the program's name.
  void expectOutcomes(const std::vector<CommandLine>& commandLines) {
    for (const CommandLine& c : commandLines) {
      SCOPED_TRACE(testing::PrintToString(c.arguments));
      std::string output;
      std::string errors;
      EXPECT_EQ(RunProgram(program_, c.arguments, &output, &errors), c.exitCode) << errors;
      EXPECT_NE(output.find(c.inOutput), std::string::npos) << output;
      EXPECT_NE(errors.find(c.inErrors), std::string::npos) << errors;
      EXPECT_TRUE(c.exitCode == 0 || errors.rfind(name_ + ": ", 0) == 0) << errors;
    }
  }

  // The processes of this scratch world whose command line holds `command`, however deep below
  // the program and even once their parent is gone: they carry the world's home in their environment.
  std::set<pid_t> processes(const std::string& command = "") const {
    std::set<pid_t> found;
    const std::string home = "HOME=" + environment_.path("home") + '\0';
    for (const std::string& pid : DirectoryEntries("/proc")) {
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      if (ReadBytes("/proc/" + pid + "/environ").find(home) == std::string::npos) continue;
      if (ReadBytes("/proc/" + pid + "/cmdline").find(command) != std::string::npos) found.insert(std::stoi(pid));
    }
    return found;
  }
  void expectNoProcessLeft(const std::string& command = "", double seconds = 10) const {
    for (const pid_t pid : processes(command)) {
      EXPECT_TRUE(ProcessEnds(pid, seconds)) << "process " << pid << " was left running";
    }
  }

  IsolatedEnvironment environment_;
  const std::string name_;
  const std::string program_;
  const std::string input_ = environment_.path("home/in box");
  const std::string output_ = environment_.path("home/out box");
};

}  // namespace vd::test
