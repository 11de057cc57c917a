#include "ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

constexpr std::string_view kTemporaryPrefix = ".vellumdock-new-";

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
  std::string pattern = folderOf(target_) + "/" + std::string(kTemporaryPrefix) + "XXXXXX";
  descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor_ < 0) throw FileError("replace", target_, std::strerror(errno));
  temporary_ = pattern;
  // The lock ends with the descriptor, however this program ends. A file system without
  // locks only loses the sweep of abandoned temporaries.
  flock(descriptor_, LOCK_EX | LOCK_NB);
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

void ReplacementFile::finishWriting(unsigned mode) {
  if (temporary_.empty()) throw FileError("replace", target_, "already replaced");
  const bool flushed = fsync(descriptor_) == 0 && fchmod(descriptor_, static_cast<mode_t>(mode)) == 0;
  const int flushError = errno;
  const bool closed = close(descriptor_) == 0;
  descriptor_ = -1;
  if (!flushed || !closed) throw FileError("replace", target_, std::strerror(flushed ? errno : flushError));
}

void ReplacementFile::commit(unsigned mode) {
  finishWriting(mode);
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) throw FileError("replace", target_, std::strerror(errno));
  temporary_.clear();
}

void ReplacementFile::commitAsNew() {
  finishWriting(0666 & ~currentUmask());
  if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0) {
    // File systems that cannot rename without replacing can still link a new name, which
    // fails as well when the name is taken.
    if (errno != EINVAL && errno != ENOSYS) throw FileError("replace", target_, errno == EEXIST ? "exists" : std::strerror(errno));
    if (link(temporary_.c_str(), target_.c_str()) != 0) {
      throw FileError("replace", target_, errno == EEXIST ? "exists" : std::strerror(errno));
    }
    unlink(temporary_.c_str());
  }
  temporary_.clear();
}

void ReplaceFileContent(const std::string& target, std::string_view content) {
  ReplacementFile file(target);
  file.write(content);
  file.commit();
}

int RemoveAbandonedReplacements(const std::string& folder) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name(entry->d_name);
    if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) continue;
    const int descriptor = openat(dirfd(listing), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) continue;
    struct stat info {};
    // Only an ordinary file nobody holds locked; where locks cannot be taken, nothing goes.
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
        unlinkat(dirfd(listing), entry->d_name, 0) == 0) {
      ++removed;
    }
    close(descriptor);
  }
  closedir(listing);
  return removed;
}

}  // namespace vd
