// A scratch world for one test: a fresh directory under the system temporary folder holding
// home/ config/ data/ state/ xdg/ runtime/ (0700) and machine/, empty, which HOME, the
// XDG_*_HOME, XDG_CONFIG_DIRS, XDG_RUNTIME_DIR and VELLUMDOCK_MACHINE_DIR name. The previous
// values come back, and the directory is removed, when the object goes away.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/Locations.h"
#include "common/PrivateDirectories.h"
#include "support/ContentChecks.h"

namespace vd::test {

// A directory of exactly that mode, whatever the umask.
inline void makeTestDirectory(const std::string& path, mode_t mode) {
  if (!ensureDirectory(path, mode) || chmod(path.c_str(), mode) != 0) throw std::runtime_error("cannot create " + path);
}

class IsolatedEnvironment {
 public:
  IsolatedEnvironment() : root_(makeFreshPrivateDirectory("vellumdock-test")) {
    if (root_.empty()) throw std::runtime_error("cannot create a scratch directory in " + temporaryBase());
    for (const auto& [variable, folder] : std::initializer_list<std::pair<const char*, const char*>>{
             {"HOME", "home"}, {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"}, {"XDG_STATE_HOME", "state"},
             {"XDG_CONFIG_DIRS", "xdg"}, {"XDG_RUNTIME_DIR", "runtime"}, {"VELLUMDOCK_MACHINE_DIR", "machine"}}) {
      makeTestDirectory(path(folder), variable == std::string("XDG_RUNTIME_DIR") ? 0700 : 0755);
      set(variable, path(folder));
    }
  }
  ~IsolatedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
    // Tests may leave directories without rights behind (hives made read-only): the owner
    // gets its rights back so that the whole tree can be removed.
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (fs::recursive_directory_iterator it(root_, ignored), end; it != end; it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(root_, ignored);
  }
  IsolatedEnvironment(const IsolatedEnvironment&) = delete;
  IsolatedEnvironment& operator=(const IsolatedEnvironment&) = delete;

  // The scratch directory + "/" + relative.
  std::string path(const std::string& relative) const { return root_ + "/" + relative; }
  // Sets an environment variable until the object goes away.
  void set(const char* variable, const std::string& value) {
    const char* previous = std::getenv(variable);
    saved_.emplace_back(variable, previous != nullptr ? std::optional<std::string>(previous) : std::nullopt);
    setenv(variable, value.c_str(), 1);
  }

 private:
  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A test in its own scratch world, with the built helper programs and a work folder.
class IsolatedTest : public ::testing::Test {
 protected:
  IsolatedTest() {
    environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
    environment.set("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR);
    makeTestDirectory(environment.path("work"), 0755);
  }
  // A name in the work folder; scratchFolder also creates it as a folder.
  std::string scratch(const std::string& name) const { return environment.path("work/" + name); }
  std::string scratchFolder(const std::string& name) const {
    makeTestDirectory(scratch(name), 0755);
    return scratch(name);
  }

  IsolatedEnvironment environment;
};

// Runs the built vellumdk-setup inside the environment (machine dir of the environment);
// fails the current test when it does not succeed.
inline void runSetup(const IsolatedEnvironment&) {
  std::string output;
  std::string errors;
  ASSERT_EQ(RunProgram(std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup", {}, &output, &errors), 0)
      << "vellumdk-setup failed:\n" << output << errors;
}

}  // namespace vd::test

using vd::test::IsolatedEnvironment;
using vd::test::IsolatedTest;
using vd::test::runSetup;
