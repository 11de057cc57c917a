// The four programs as a new user meets them: --help and --version answer at once without a
// window, and an install into a prefix of its own gives a menu entry that starts the
// program installed there.
#include <unistd.h>

#include "ProgramFixture.h"
#include "platform/DesktopEntryFormat.h"

namespace vd::test {
namespace {

// The first argument of a desktop entry's Exec= value (string escapes already undone): a
// quoted argument loses its quotes and the backslashes before ", `, $ and \.
std::string firstExecArgument(const std::string& exec) {
  if (exec.empty() || exec.front() != '"') return exec.substr(0, exec.find(' '));
  std::string argument;
  for (std::size_t i = 1; i < exec.size() && exec[i] != '"'; ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
    argument += exec[i];
  }
  return argument;
}

TEST(InstalledProgramsTest, HelpAndVersionOfEveryProgramAnswerAtOnceWithoutAWindow) {
  // The window program runs here on the offscreen platform, where its window would never
  // close by itself: only an answer without a window ends within the bound.
  for (const std::string name : {"vellumdk", "vellumdkd", "vellumdk-convert", "vellumdk-setup"}) {
    const std::string program = std::string(VD_BUILD_PROGRAM_DIR) + "/" + name;
    for (const std::string flag : {"--help", "--version"}) {
      SCOPED_TRACE(name + " " + flag);
      std::string output;
      std::string errors;
      EXPECT_EQ(RunProgram(program, {flag}, &output, &errors, {}, 20), 0) << errors;
      if (flag == "--help") {
        EXPECT_EQ(output.rfind("Usage: " + name, 0), 0u) << output;
        EXPECT_NE(output.find("--version"), std::string::npos) << output;
      } else {
        EXPECT_EQ(output, name + " (Vellumdock) " + VD_PROJECT_VERSION + "\n");
      }
      EXPECT_EQ(errors, "");
    }
  }
}

TEST(InstalledProgramsTest, InstalledMenuEntryStartsTheProgramOfItsOwnPrefix) {
  IsolatedEnvironment environment;
  // Another prefix than the configured one, with a space the entry must quote.
  const std::string prefix = environment.path("home/my apps");
  std::string output;
  ASSERT_EQ(RunProgram(VD_CMAKE_COMMAND, {"--install", VD_BUILD_DIR, "--prefix", prefix}, &output, &output, {}, 300), 0)
      << output;
  const std::string entry = ReadBytes(prefix + "/share/applications/vellumdk.desktop");
  const std::string exec = ParseDesktopEntry(entry).exec;
  const std::string program = firstExecArgument(exec);
  EXPECT_EQ(program, prefix + "/bin/vellumdk") << entry;
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
  EXPECT_EQ(ProgramOutput(program, {"--version"}), std::string("vellumdk (Vellumdock) ") + VD_PROJECT_VERSION + "\n");
  // The program found from there is the installed one, with its own files beside it.
  EXPECT_TRUE(FileExistsOnDisk(prefix + "/lib/vellumdock/vellumdk.pdf"));
}

}  // namespace
}  // namespace vd::test
