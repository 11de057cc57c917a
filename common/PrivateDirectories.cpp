#include "PrivateDirectories.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "Environment.h"

namespace vd {

bool makePrivateDirectory(const std::string& dir) {
  if (dir.empty()) return false;
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & 077) == 0;
}

std::string temporaryBase() {
  const std::string base = environmentText("TMPDIR");
  return !base.empty() && base.front() == '/' ? base : std::string("/tmp");
}

std::string makeFreshPrivateDirectory(const std::string& prefix) {
  std::string pattern = temporaryBase() + "/" + prefix + "-XXXXXX";
  // mkdtemp makes the directory with mode 0700 under a name nobody held before.
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) : path_(makeFreshPrivateDirectory(prefix)) {}

TemporaryDirectory::~TemporaryDirectory() {
  if (path_.empty()) return;
  // Links inside are removed, never followed.
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void RemoveLeftoversOfEndedProcesses(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> leftovers;
  if (DIR* listing = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(listing)) {
      const std::string name = entry->d_name;
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::size_t digitsEnd = name.find_first_not_of("0123456789", prefix.size());
      if (digitsEnd == prefix.size() || digitsEnd == std::string::npos || name[digitsEnd] != '-' ||
          digitsEnd - prefix.size() > 9) {
        continue;
      }
      const auto pid = static_cast<pid_t>(std::stol(name.substr(prefix.size(), digitsEnd - prefix.size())));
      if (pid <= 0 || pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) continue;
      leftovers.push_back(folder + "/" + name);
    }
    closedir(listing);
  }
  for (const std::string& path : leftovers) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || info.st_uid != getuid()) continue;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
}

}  // namespace vd
