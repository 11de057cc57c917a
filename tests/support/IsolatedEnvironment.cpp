#include "IsolatedEnvironment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "common/PrivateDirectories.h"
#include "support/ContentChecks.h"

namespace vd::test {
namespace {

void makeDirectory(const std::string& path, mode_t mode) {
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create test directory " + path + ": " + std::strerror(errno));
  }
  chmod(path.c_str(), mode);
}

// Tests may leave read-only directories behind (hives without rights); give the owner
// its rights back so that the whole tree can be removed.
void restoreOwnerRights(const std::filesystem::path& top) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  fs::permissions(top, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(top, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
}

}  // namespace

IsolatedEnvironment::IsolatedEnvironment() : root_(makeFreshPrivateDirectory("vellumdock-test")) {
  if (root_.empty()) throw std::runtime_error("cannot create a scratch directory in " + temporaryBase());
  const std::pair<const char*, const char*> folders[] = {
      {"HOME", "home"},           {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
      {"XDG_STATE_HOME", "state"}, {"XDG_CONFIG_DIRS", "xdg"},     {"XDG_RUNTIME_DIR", "runtime"},
      {"VELLUMDOCK_MACHINE_DIR", "machine"}};
  for (const auto& [variable, folder] : folders) {
    makeDirectory(path(folder), variable == std::string("XDG_RUNTIME_DIR") ? 0700 : 0755);
    set(variable, path(folder));
  }
}

IsolatedEnvironment::~IsolatedEnvironment() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second) {
      setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      unsetenv(it->first.c_str());
    }
  }
  restoreOwnerRights(root_);
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string IsolatedEnvironment::path(const std::string& relative) const { return root_ + "/" + relative; }

void IsolatedEnvironment::set(const char* variable, const std::string& value) {
  const char* previous = std::getenv(variable);
  saved_.emplace_back(variable, previous != nullptr ? std::optional<std::string>(previous) : std::nullopt);
  setenv(variable, value.c_str(), 1);
}

IsolatedTest::IsolatedTest() {
  environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
  environment.set("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR);
  makeDirectory(environment.path("work"), 0755);
}

std::string IsolatedTest::scratchFolder(const std::string& name) const {
  makeDirectory(scratch(name), 0755);
  return scratch(name);
}

void runSetup(const IsolatedEnvironment&) {
  const std::string program = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << "vellumdk-setup not built at " << program;
  std::string output;
  std::string errors;
  ASSERT_EQ(RunProgram(program, {}, &output, &errors), 0) << "vellumdk-setup failed:\n" << output << errors;
}

}  // namespace vd::test
