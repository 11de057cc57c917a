// The built vellumdk run as the operator's auto-start would run it: "vellumdk m" on the
// offscreen platform, in an isolated environment with the Distiller printer installed.
// Drawings and reports have no converter on Linux, so their conversion fails: they must
// end in failed/ with their reason, the files the listing skips must stay untouched, and
// nothing may be deleted.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/IsolatedEnvironment.h"
#include "common/Locations.h"
#include "platform/SettingsStore.h"

namespace vd::test {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> entriesOf(const std::string& directory) {
  std::vector<std::string> names;
  if (DIR* handle = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(handle)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(handle);
  }
  return names;
}

void writeSettled(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
  const timespec past[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
  utimensat(AT_FDCWD, path.c_str(), past, 0);
}

class RunningProgram {
 public:
  RunningProgram(const std::string& program, const std::string& argument, const std::string& log) {
    pid_ = fork();
    if (pid_ == 0) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      if (std::freopen(log.c_str(), "a", stdout) == nullptr || std::freopen(log.c_str(), "a", stderr) == nullptr) {
        _exit(126);
      }
      char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
      execv(program.c_str(), argv);
      _exit(127);
    }
  }
  ~RunningProgram() { stop(); }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    return true;
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

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
  for (const std::string& name : untouched) writeSettled(input + "/" + name, "keep " + name);
  for (const std::string& name : failing) writeSettled(input + "/" + name, "content of " + name);

  const std::string log = environment.path("vellumdk.log");
  RunningProgram running(program, "m", log);
  // Polls until every failing file has been dealt with; the bound only keeps a broken
  // program from hanging the test.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto allHandled = [&] {
    for (const std::string& name : failing) {
      if (!exists(input + "/failed/" + name + ".error.txt")) return false;
    }
    return true;
  };
  while (!allHandled() && running.running() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // A further pass must not disturb anything either.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(running.running()) << "vellumdk ended early; see " << log << ":\n" << readFile(log);
  running.stop();

  for (const std::string& name : untouched) EXPECT_EQ(readFile(input + "/" + name), "keep " + name) << name;
  for (const std::string& name : failing) {
    EXPECT_FALSE(exists(input + "/" + name)) << name;
    EXPECT_EQ(readFile(input + "/failed/" + name), "content of " + name) << name;
    const std::string reason = readFile(input + "/failed/" + name + ".error.txt");
    EXPECT_FALSE(reason.empty()) << name;
    EXPECT_EQ(reason.substr(reason.size() >= 2 ? reason.size() - 2 : 0), "\r\n") << name;
  }
  EXPECT_EQ(entriesOf(input + "/failed").size(), 2 * failing.size());
  EXPECT_TRUE(entriesOf(output).empty());
}

}  // namespace
}  // namespace vd::test
