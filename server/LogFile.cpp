#include "server/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "common/Environment.h"
#include "common/Locations.h"
#include "common/Paths.h"

namespace vd {
namespace {

std::string timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

bool writeAll(int descriptor, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

LogFileLimits LogFileLimitsFromEnvironment() {
  LogFileLimits limits;
  limits.maxBytes = static_cast<std::uint64_t>(
      positiveEnvironmentNumber("VELLUMDOCK_LOG_BYTES", static_cast<double>(limits.maxBytes)));
  return limits;
}

LogFile::LogFile(std::string path, LogFileLimits limits) : path_(std::move(path)), limits_(limits) {}

LogFile::~LogFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

std::string LogFile::defaultPath() { return userStateDir() + "/vellumdk.log"; }

bool LogFile::openFile() {
  if (descriptor_ >= 0) return true;
  if (!ensureDirectory(folderOf(path_), 0700)) return false;
  descriptor_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor_ < 0) return false;
  struct stat info {};
  size_ = ::fstat(descriptor_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  return true;
}

void LogFile::rotate() {
  ::close(descriptor_);
  descriptor_ = -1;
  const auto numbered = [this](int n) { return path_ + "." + std::to_string(n); };
  ::unlink(numbered(limits_.keptFiles).c_str());
  for (int n = limits_.keptFiles - 1; n >= 1; --n) std::rename(numbered(n).c_str(), numbered(n + 1).c_str());
  if (limits_.keptFiles >= 1) {
    std::rename(path_.c_str(), numbered(1).c_str());
  } else {
    ::unlink(path_.c_str());
  }
}

void LogFile::write(const std::string& line) {
  const std::string entry = timestamp() + " " + line + "\n";
  if (!openFile()) return;
  // A file already holding something never grows past its limit; one longer line still
  // gets a file of its own.
  if (size_ > 0 && size_ + entry.size() > limits_.maxBytes) {
    rotate();
    if (!openFile()) return;
  }
  if (writeAll(descriptor_, entry)) {
    size_ += entry.size();
  } else {
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

}  // namespace vd
