#include "EngineTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/Locations.h"

extern char** environ;

namespace vd::test {

std::string corpusFile(const std::string& relative) { return "/work/shared/corpus/" + relative; }

std::string runProgram(const std::vector<std::string>& argv, int* exitCode) {
  int out[2];
  if (pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int code = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  if (code == 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  if (code == 0) waitpid(pid, &status, 0);
  if (exitCode != nullptr) *exitCode = (code == 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return text;
}

int pdfPageCount(const std::string& pdf) {
  int exitCode = 0;
  const std::string out = runProgram({"qpdf", "--show-npages", pdf}, &exitCode);
  if (exitCode != 0 && exitCode != 3) return -1;
  return std::atoi(out.c_str());
}

std::string pdfText(const std::string& pdf) { return runProgram({"pdftotext", "-q", pdf, "-"}); }

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

void IsolatedEngineTest::SetUp() {
  ASSERT_TRUE(root_.isValid());
  const std::string root = root_.path().toStdString();
  const std::vector<std::pair<std::string, std::string>> values{
      {"HOME", root + "/home"},
      {"XDG_CONFIG_HOME", root + "/home/.config"},
      {"XDG_DATA_HOME", root + "/home/.local/share"},
      {"XDG_CONFIG_DIRS", root + "/etc/xdg"},
      {"XDG_RUNTIME_DIR", root + "/run"},
      {"VELLUMDOCK_MACHINE_DIR", root + "/machine"},
      {"VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR},
      {"VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR},
  };
  for (const auto& [name, value] : values) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old != nullptr ? std::string(old) : std::string("\x01"));
    setenv(name.c_str(), value.c_str(), 1);
  }
  ensureDirectory(root + "/home", 0700);
  ensureDirectory(root + "/run", 0700);
  chmod((root + "/run").c_str(), 0700);
  ensureDirectory(root + "/machine", 0755);
}

void IsolatedEngineTest::TearDown() {
  for (const auto& [name, value] : saved_) {
    if (value == "\x01") {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  saved_.clear();
}

std::string IsolatedEngineTest::scratch(const std::string& name) {
  const std::string dir = root_.path().toStdString() + "/" + name;
  ensureDirectory(dir, 0755);
  return dir;
}

}  // namespace vd::test
