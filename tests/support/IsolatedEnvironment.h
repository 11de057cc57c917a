// A scratch world for one test: a fresh directory under the system temporary folder, with
// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CONFIG_DIRS, XDG_RUNTIME_DIR and
// VELLUMDOCK_MACHINE_DIR pointing into it. The previous values come back, and the scratch
// directory is removed, when the object goes away.
//
// Layout below root():  home/  config/  data/  xdg/ (XDG_CONFIG_DIRS)  runtime/ (0700)
// machine/ (VELLUMDOCK_MACHINE_DIR). Those directories exist; nothing is created in them.
#pragma once

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

  std::string root() const;
  // root() + "/" + relative.
  std::string path(const std::string& relative) const;

 private:
  void redirect(const char* variable, const std::string& value);

  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Runs the built vellumdk-setup inside the environment (machine dir of the environment);
// fails the current test when it does not succeed.
void runSetup(const IsolatedEnvironment& environment);

}  // namespace vd::test

using vd::test::IsolatedEnvironment;
using vd::test::runSetup;
