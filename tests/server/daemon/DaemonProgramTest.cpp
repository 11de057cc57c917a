// The built vellumdkd in a scratch world: files dropped while it runs are converted, its
// standard output is the window's log, a failure adds its reason on standard error, a
// stop signal lets the conversion in hand finish, and bad command lines end with the
// documented codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <sstream>

#include "common/Locations.h"
#include "platform/SettingsStore.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/RunningProgram.h"

namespace vd::test {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

class DaemonProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(program_.c_str(), X_OK), 0) << program_;
    runSetup(environment_);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(ensureDirectory(input_));
    ASSERT_TRUE(ensureDirectory(output_));
    // The stored directories are not the ones the command line names: the overrides win.
    settingsStore().write("InputDir", environment_.path("home/stored in"));
    settingsStore().write("OutputDir", environment_.path("home/stored out"));
  }

  std::unique_ptr<RunningProgram> start(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"--input", input_, "--output", output_, "--interval", "1"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return std::make_unique<RunningProgram>(program_, arguments, log_, std::vector<std::pair<std::string, std::string>>{},
                                            errors_);
  }

  bool waitFor(RunningProgram& running, const std::function<bool()>& done) {
    return WaitUntil(running, done, std::chrono::seconds(180));
  }

  std::string describe() const { return "stdout:\n" + ReadBytes(log_) + "stderr:\n" + ReadBytes(errors_); }

  IsolatedEnvironment environment_;
  const std::string program_ = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdkd";
  const std::string input_ = environment_.path("home/in box");
  const std::string output_ = environment_.path("home/out box");
  const std::string log_ = environment_.path("vellumdkd.out");
  const std::string errors_ = environment_.path("vellumdkd.err");
};

TEST_F(DaemonProgramTest, ConvertsDroppedFilesAndPrintsTheWindowsLogLines) {
  auto running = start();
  ASSERT_TRUE(running->running());
  CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/alphabet.ps");
  CopySettledFile(Corpus("jpg/flower.jpg"), input_ + "/flower.jpg");
  WriteSettledFile(input_ + "/broken.ps", "%!PS\nnosuchoperator\nshowpage\n");

  ASSERT_TRUE(waitFor(*running, [&] {
    const std::vector<std::string> left = DirectoryEntries(input_);
    return left == std::vector<std::string>{"failed"} && FileExistsOnDisk(input_ + "/failed/broken.ps.error.txt");
  })) << describe();

  // The service links no widgets: none is mapped into the running process.
  const std::string maps = ReadBytes("/proc/" + std::to_string(running->pid()) + "/maps");
  EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);

  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();

  EXPECT_EQ(PageCount(output_ + "/alphabet.pdf"), 1);
  EXPECT_NE(PdfText(output_ + "/alphabet.pdf").find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_EQ(PageCount(output_ + "/flower.pdf"), 1);
  EXPECT_NE(ReadBytes(output_ + "/flower.pdf").find(ReadBytes(Corpus("jpg/flower.jpg"))), std::string::npos);
  EXPECT_FALSE(FileExistsOnDisk(output_ + "/broken.pdf"));

  // Standard output: exactly the log box's lines, each whole; the failure's own line follows
  // its file's arrow line.
  const std::vector<std::string> lines = linesOf(ReadBytes(log_));
  const std::multiset<std::string> expected = {
      input_ + "/alphabet.ps --> " + output_ + "/alphabet.pdf",
      input_ + "/flower.jpg --> " + output_ + "/flower.pdf",
      input_ + "/broken.ps --> " + output_ + "/broken.pdf",
      "Unable to create PDF.",
  };
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected) << describe();
  const auto broken = std::find(lines.begin(), lines.end(), input_ + "/broken.ps --> " + output_ + "/broken.pdf");
  ASSERT_NE(broken, lines.end());
  ASSERT_NE(broken + 1, lines.end());
  EXPECT_EQ(*(broken + 1), "Unable to create PDF.");

  // Standard error: one line naming the file, with the reason kept beside the failed input.
  const std::vector<std::string> errorLines = linesOf(ReadBytes(errors_));
  ASSERT_EQ(errorLines.size(), 1u) << describe();
  const std::string prefix = "vellumdkd: " + input_ + "/broken.ps: ";
  ASSERT_EQ(errorLines[0].rfind(prefix, 0), 0u) << errorLines[0];
  const std::string reason = errorLines[0].substr(prefix.size());
  EXPECT_FALSE(reason.empty());
  EXPECT_NE(ReadBytes(input_ + "/failed/broken.ps.error.txt").find(reason), std::string::npos) << reason;
}

TEST_F(DaemonProgramTest, StopSignalLetsTheConversionInHandFinish) {
  // A job that keeps the interpreter busy for a few seconds before it shows its page.
  const std::string slowJob =
      "%!PS\n/started realtime def\n{ realtime started sub 4000 gt { exit } if } loop\n"
      "/Helvetica findfont 24 scalefont setfont 72 700 moveto (finished slowly) show showpage\n";
  for (const int stopSignal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(stopSignal);
    WriteSettledFile(input_ + "/slow.ps", slowJob);
    std::remove((output_ + "/slow.pdf").c_str());
    std::remove(log_.c_str());
    auto running = start();
    const std::string arrow = input_ + "/slow.ps --> " + output_ + "/slow.pdf";
    ASSERT_TRUE(waitFor(*running, [&] { return ReadBytes(log_).find(arrow) != std::string::npos; })) << describe();
    running->signal(stopSignal);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(120)), 0) << describe();
    EXPECT_EQ(PageCount(output_ + "/slow.pdf"), 1) << describe();
    EXPECT_NE(PdfText(output_ + "/slow.pdf").find("finished slowly"), std::string::npos);
    EXPECT_FALSE(FileExistsOnDisk(input_ + "/slow.ps"));
  }
}

TEST_F(DaemonProgramTest, CommandLinesEndWithTheDocumentedCodes) {
  const std::string notADirectory = environment_.path("home/plain file");
  WriteBytes(notADirectory, "x");
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string inOutput;
    std::string inErrors;
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "--interval SECONDS", ""},
      {{"--version"}, 0, "vellumdkd (Vellumdock) ", ""},
      {{"--bogus"}, 2, "", "unknown argument '--bogus'"},
      {{"--interval", "0"}, 2, "", "--interval takes whole seconds"},
      {{"--interval", "2.5"}, 2, "", "--interval takes whole seconds"},
      {{"--interval", "40000"}, 2, "", "--interval takes whole seconds"},
      {{"--input"}, 2, "", "--input needs a directory"},
      {{"--overwrite=1"}, 2, "", "--overwrite takes no value"},
      {{"--input", input_ + "/nowhere", "--output", output_}, 3, "", "input directory " + input_ + "/nowhere: No such"},
      {{"--input", input_, "--output", notADirectory}, 3, "", "output directory " + notADirectory + ": not a directory"},
      {{"--input", notADirectory, "--output", output_}, 3, "", "not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    std::string output;
    std::string errors;
    EXPECT_EQ(RunProgram(program_, c.arguments, &output, &errors), c.exitCode) << errors;
    EXPECT_NE(output.find(c.inOutput), std::string::npos) << output;
    EXPECT_NE(errors.find(c.inErrors), std::string::npos) << errors;
    if (c.exitCode != 0) {
      EXPECT_EQ(errors.rfind("vellumdkd: ", 0), 0u) << errors;
    }
  }
  // Nothing was converted or created by a refused start.
  EXPECT_TRUE(DirectoryEntries(output_).empty());
}

}  // namespace
}  // namespace vd::test
