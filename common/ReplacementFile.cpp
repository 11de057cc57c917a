#include "ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "Errors.h"
#include "Paths.h"

namespace vd {
namespace {

// The process's umask as the kernel reports it; reading it with umask() would change it
// for a moment under other threads' feet.
unsigned currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<unsigned>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
  if (target_.empty()) throw FileError("replace", target_, "no file name");
  std::string pattern = folderOf(target_) + "/.vellumdock-new-XXXXXX";
  descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor_ < 0) throw FileError("replace", target_, std::strerror(errno));
  temporary_ = pattern;
}

ReplacementFile::~ReplacementFile() {
  if (descriptor_ >= 0) close(descriptor_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

void ReplacementFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(descriptor_, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) throw FileError("replace", target_, std::strerror(count < 0 ? errno : EIO));
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

void ReplacementFile::commit() { commit(0666 & ~currentUmask()); }

void ReplacementFile::commit(unsigned mode) {
  if (temporary_.empty()) throw FileError("replace", target_, "already replaced");
  const bool flushed = fsync(descriptor_) == 0 && fchmod(descriptor_, static_cast<mode_t>(mode)) == 0;
  const int flushError = errno;
  const bool closed = close(descriptor_) == 0;
  descriptor_ = -1;
  if (!flushed || !closed) throw FileError("replace", target_, std::strerror(flushed ? errno : flushError));
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) throw FileError("replace", target_, std::strerror(errno));
  temporary_.clear();
}

void ReplaceFileContent(const std::string& target, std::string_view content) {
  ReplacementFile file(target);
  file.write(content);
  file.commit();
}

}  // namespace vd
