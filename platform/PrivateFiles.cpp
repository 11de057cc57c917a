#include "PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "common/Locations.h"
#include "common/Paths.h"

namespace vd::privateFiles {
namespace {

constexpr mode_t kOpenToOthers = S_IRWXG | S_IRWXO;

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// One line per entry and process: a file that cannot be tightened is met at every open.
void reportOnce(const std::string& path, const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  const std::lock_guard lock(mutex);
  if (!reported.insert(path).second) return;
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line.c_str());
  std::fflush(stderr);
}

void tighten(const std::string& path, const struct stat& info) {
  if ((info.st_mode & kOpenToOthers) == 0) return;
  const mode_t wanted = info.st_mode & S_IRWXU;
  if (chmod(path.c_str(), wanted) != 0) {
    reportOnce(path, path + " is open to other accounts (mode " + octal(info.st_mode) +
                         ") and could not be made private: " + std::strerror(errno));
    return;
  }
  reportOnce(path, path + " was open to other accounts (mode " + octal(info.st_mode) + "); it is now private (mode " +
                       octal(wanted) + ")");
}

}  // namespace

bool ensureDirectory(const std::string& directory) {
  struct stat info {};
  if (stat(directory.c_str(), &info) != 0) {
    const std::string parent = folderOf(directory);
    if (parent != "/" && parent != "." && !vd::ensureDirectory(parent, 0755)) return false;
    if (mkdir(directory.c_str(), S_IRWXU) != 0 && errno != EEXIST) return false;
    if (stat(directory.c_str(), &info) != 0) return false;
  }
  if (!S_ISDIR(info.st_mode)) return false;
  tighten(directory, info);
  return true;
}

bool ensureFile(const std::string& path) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (descriptor >= 0) {
    close(descriptor);
    return true;
  }
  if (errno != EEXIST) return false;
  keepPrivate(path);
  return true;
}

void keepPrivate(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) tighten(path, info);
}

}  // namespace vd::privateFiles
