// The built vellumdk run as the operator's auto-start would run it: "vellumdk m" on the
// offscreen platform, in an isolated environment with the Distiller printer installed.
// Drawings and reports have no converter on Linux, so their conversion fails: they must
// end in failed/ with their reason, the files the listing skips must stay untouched, and
// nothing may be deleted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/Locations.h"
#include "platform/SettingsStore.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/RunningProgram.h"

namespace vd::test {
namespace {

TEST(VellumdkEndToEndTest, ScanningKeepsUnconvertibleFilesInFailedAndSkipsWhatItMustNotTouch) {
  const std::string program = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
  IsolatedEnvironment environment;
  runSetup(environment);
  if (testing::Test::HasFatalFailure()) return;

  const std::string input = environment.path("home/drop box");
  const std::string output = environment.path("home/pdf out");
  ASSERT_TRUE(ensureDirectory(input));
  ASSERT_TRUE(ensureDirectory(output));
  settingsStore().write("InputDir", input);
  settingsStore().write("OutputDir", output);
  settingsStore().write("Seconds", "1");

  const std::vector<std::string> untouched = {"REPORT.PDF", "a.EXE", "St6UnSt.Log", ".hidden"};
  const std::vector<std::string> failing = {"plan.dwg", "sales.rpt", "-rf 'q' ä.dwg"};
  for (const std::string& name : untouched) WriteSettledFile(input + "/" + name, "keep " + name);
  for (const std::string& name : failing) WriteSettledFile(input + "/" + name, "content of " + name);

  const std::string log = environment.path("vellumdk.log");
  RunningProgram running(program, {"m"}, log);
  auto allHandled = [&] {
    for (const std::string& name : failing) {
      if (!FileExistsOnDisk(input + "/failed/" + name + ".error.txt")) return false;
    }
    return true;
  };
  WaitUntil(running, allHandled, std::chrono::seconds(60));
  // A further pass must not disturb anything either.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(running.running()) << "vellumdk ended early; see " << log << ":\n" << ReadBytes(log);
  running.stop();

  for (const std::string& name : untouched) EXPECT_EQ(ReadBytes(input + "/" + name), "keep " + name) << name;
  for (const std::string& name : failing) {
    EXPECT_FALSE(FileExistsOnDisk(input + "/" + name)) << name;
    EXPECT_EQ(ReadBytes(input + "/failed/" + name), "content of " + name) << name;
    const std::string reason = ReadBytes(input + "/failed/" + name + ".error.txt");
    EXPECT_FALSE(reason.empty()) << name;
    EXPECT_EQ(reason.substr(reason.size() >= 2 ? reason.size() - 2 : 0), "\r\n") << name;
  }
  EXPECT_EQ(DirectoryEntries(input + "/failed").size(), 2 * failing.size());
  EXPECT_TRUE(DirectoryEntries(output).empty());
}

}  // namespace
}  // namespace vd::test
