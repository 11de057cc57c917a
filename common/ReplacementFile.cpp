#include "ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

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

// The temporaries of this process's living objects.
std::mutex livingMutex;
std::set<std::string>& livingTemporaries() {
  static std::set<std::string> paths;
  return paths;
}

void noteLiving(const std::string& path, bool living) {
  const std::lock_guard<std::mutex> guard(livingMutex);
  if (living) {
    livingTemporaries().insert(path);
  } else {
    livingTemporaries().erase(path);
  }
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
  if (target_.empty()) throw FileError("replace", target_, "no file name");
  std::string pattern = folderOf(target_) + "/" + std::string(kTemporaryPrefix) + "XXXXXX";
  descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor_ < 0) throw FileError("replace", target_, std::strerror(errno));
  temporary_ = pattern;
  noteLiving(temporary_, true);
  // The lock ends with the descriptor, however this program ends. A file system without
  // locks only loses the sweep of abandoned temporaries.
  flock(descriptor_, LOCK_EX | LOCK_NB);
}

ReplacementFile::ReplacementFile(int folderDescriptor, std::string name, std::string shownAs)
    : target_(std::move(shownAs)), folder_(folderDescriptor), name_(std::move(name)) {
  if (name_.empty() || name_.find('/') != std::string::npos) throw FileError("replace", target_, "no file name");
  for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
    unsigned char random[8];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) continue;
    std::string candidate(kTemporaryPrefix);
    for (const unsigned char byte : random) candidate += "0123456789abcdefghijklmnopqrstuv"[byte % 32];
    descriptor_ = openat(folder_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor_ >= 0) {
      temporaryName_ = candidate;
    } else if (errno != EEXIST) {
      throw FileError("replace", target_, std::strerror(errno));
    }
  }
  if (descriptor_ < 0) throw FileError("replace", target_, "no free temporary name");
  temporary_ = folderOf(target_) + "/" + temporaryName_;
  noteLiving(temporary_, true);
  flock(descriptor_, LOCK_EX | LOCK_NB);
}

ReplacementFile::~ReplacementFile() {
  if (descriptor_ >= 0) close(descriptor_);
  if (!temporaryName_.empty()) {
    unlinkat(folder_, temporaryName_.c_str(), 0);
  } else if (!temporary_.empty()) {
    unlink(temporary_.c_str());
  }
  if (!temporary_.empty()) noteLiving(temporary_, false);
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
  const bool renamed = temporaryName_.empty()
                           ? std::rename(temporary_.c_str(), target_.c_str()) == 0
                           : renameat(folder_, temporaryName_.c_str(), folder_, name_.c_str()) == 0;
  if (!renamed) throw FileError("replace", target_, std::strerror(errno));
  noteLiving(temporary_, false);
  temporary_.clear();
  temporaryName_.clear();
}

void ReplacementFile::commitAsNew() {
  finishWriting(0666 & ~currentUmask());
  // Within an open folder by names relative to it, else by paths.
  const bool inFolder = !temporaryName_.empty();
  const int folder = inFolder ? folder_ : AT_FDCWD;
  const char* from = inFolder ? temporaryName_.c_str() : temporary_.c_str();
  const char* to = inFolder ? name_.c_str() : target_.c_str();
  if (renameat2(folder, from, folder, to, RENAME_NOREPLACE) != 0) {
    // File systems that cannot rename without replacing can still link a new name, which
    // fails as well when the name is taken.
    if (errno != EINVAL && errno != ENOSYS) throw FileError("replace", target_, errno == EEXIST ? "exists" : std::strerror(errno));
    if (linkat(folder, from, folder, to, 0) != 0) {
      throw FileError("replace", target_, errno == EEXIST ? "exists" : std::strerror(errno));
    }
    unlinkat(folder, from, 0);
  }
  noteLiving(temporary_, false);
  temporary_.clear();
  temporaryName_.clear();
}

void ReplaceFileContent(const std::string& target, std::string_view content) {
  ReplacementFile file(target);
  file.write(content);
  file.commit();
}

namespace {

int removeAbandonedIn(DIR* listing) {
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

}  // namespace

int RemoveOwnReplacementsBeforeExit() {
  const std::lock_guard<std::mutex> guard(livingMutex);
  int removed = 0;
  for (const std::string& path : livingTemporaries()) {
    if (unlink(path.c_str()) == 0) ++removed;
  }
  livingTemporaries().clear();
  return removed;
}

int RemoveAbandonedReplacements(const std::string& folder) { return removeAbandonedIn(opendir(folder.c_str())); }

int RemoveAbandonedReplacements(int folderDescriptor) {
  const int own = fcntl(folderDescriptor, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return 0;
  DIR* listing = fdopendir(own);
  if (listing == nullptr) {
    close(own);
    return 0;
  }
  // A duplicate shares its position with the original: the listing starts from the top.
  rewinddir(listing);
  return removeAbandonedIn(listing);
}

}  // namespace vd
