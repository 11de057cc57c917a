// A scratch world for one test: a fresh directory under the system temporary folder, with
// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME, XDG_CONFIG_DIRS, XDG_RUNTIME_DIR and
// VELLUMDOCK_MACHINE_DIR pointing into it. The previous values come back, and the scratch
// directory is removed, when the object goes away.
//
// Layout of the scratch directory:  home/  config/  data/  state/  xdg/ (XDG_CONFIG_DIRS)  runtime/ (0700)
// machine/ (VELLUMDOCK_MACHINE_DIR). Those directories exist; nothing is created in them.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vd::test {

class IsolatedEnvironment {
 public:
  IsolatedEnvironment();
  ~IsolatedEnvironment();
  IsolatedEnvironment(const IsolatedEnvironment&) = delete;
  IsolatedEnvironment& operator=(const IsolatedEnvironment&) = delete;

  // The scratch directory + "/" + relative.
  std::string path(const std::string& relative) const;
  // Sets an environment variable until the object goes away.
  void set(const char* variable, const std::string& value);

 private:
  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A test in its own scratch world, with the built helper programs and a work folder.
class IsolatedTest : public ::testing::Test {
 protected:
  IsolatedTest();
  // A name in the work folder; scratchFolder also creates it as a folder.
  std::string scratch(const std::string& name) const { return environment.path("work/" + name); }
  std::string scratchFolder(const std::string& name) const;

  IsolatedEnvironment environment;
};

// Runs the built vellumdk-setup inside the environment (machine dir of the environment);
// fails the current test when it does not succeed.
void runSetup(const IsolatedEnvironment& environment);

}  // namespace vd::test

using vd::test::IsolatedEnvironment;
using vd::test::IsolatedTest;
using vd::test::runSetup;
