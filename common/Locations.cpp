#include "Locations.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

#include "Environment.h"
#include "Paths.h"
#include "PrivateDirectories.h"

namespace vd {
namespace {

std::string xdgDir(const char* variable, const char* fallbackBelowHome) {
  std::string base = environmentText(variable);
  if (base.empty() || base.front() != '/') base = homeDir() + fallbackBelowHome;
  return base + "/Vellumdock";
}

}  // namespace

std::string homeDir() {
  std::string home = environmentText("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return "/";
}

std::string programDir() {
  if (std::string overridden = environmentText("VELLUMDOCK_PROGRAM_DIR"); !overridden.empty()) return overridden;
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  return folderOf(std::string(buffer, static_cast<std::size_t>(length)));
}

std::string helperDir() {
  if (std::string overridden = environmentText("VELLUMDOCK_HELPER_DIR"); !overridden.empty()) return overridden;
  // <prefix>/lib/vellumdock -> <prefix>/libexec/vellumdock
  return folderOf(folderOf(programDir())) + "/libexec/vellumdock";
}

std::string machineDir() {
  std::string dir = environmentText("VELLUMDOCK_MACHINE_DIR");
  return dir.empty() ? std::string("/var/lib/vellumdock") : dir;
}

std::string userDataDir() { return xdgDir("XDG_DATA_HOME", "/.local/share"); }

std::string userConfigDir() { return xdgDir("XDG_CONFIG_HOME", "/.config"); }

std::string userStateDir() { return xdgDir("XDG_STATE_HOME", "/.local/state"); }

std::string userRuntimeDir() {
  std::string runtime = environmentText("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime.front() == '/') {
    const std::string dir = runtime + "/vellumdock";
    ensureDirectory(dir, 0700);
    return dir;
  }
  const std::string dir = "/tmp/vellumdock-" + std::to_string(getuid());
  // A directory someone else made in /tmp could be used to read or spoof our windows.
  if (!makePrivateDirectory(dir)) throw std::runtime_error(dir + " is not a private directory of this user");
  return dir;
}

std::string defaultWorkDir() {
  const std::string dir = homeDir() + "/Vellumdock";
  ensureDirectory(dir, 0755);
  return dir;
}

void makeLocationVariablesAbsolute() {
  for (const char* variable : {"VELLUMDOCK_MACHINE_DIR", "VELLUMDOCK_PROGRAM_DIR", "VELLUMDOCK_HELPER_DIR"}) {
    const std::string value = environmentText(variable);
    if (!value.empty() && value.front() != '/') setenv(variable, absolutePath(value).c_str(), 1);
  }
}

bool ensureDirectory(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::string parent = folderOf(path);
  if (parent != path && parent != "/" && parent != ".") ensureDirectory(parent, 0755);
  if (mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return false;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace vd
