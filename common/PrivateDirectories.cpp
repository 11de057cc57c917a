#include "PrivateDirectories.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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

}  // namespace vd
