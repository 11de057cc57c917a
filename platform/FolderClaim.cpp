#include "platform/FolderClaim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <set>

#include "common/Locations.h"

namespace vd {
namespace {

// Record locks do not exclude each other within one process, and closing any descriptor
// of the file would drop them: the claims this process holds are kept here as well.
std::mutex claimsMutex;
std::set<std::string>& claimsOfThisProcess() {
  static std::set<std::string> keys;
  return keys;
}

std::string hex(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", value);
  return text;
}

// The folder's identity: device and inode; a folder that is not there (yet) by its path.
std::string keyOf(const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return "input-" + hex(static_cast<unsigned long long>(info.st_dev)) + "-" +
           hex(static_cast<unsigned long long>(info.st_ino));
  }
  return "input-path-" + hex(std::hash<std::string>{}(folder));
}

void forget(const std::string& key) {
  const std::lock_guard<std::mutex> guard(claimsMutex);
  claimsOfThisProcess().erase(key);
}

}  // namespace

FolderClaim::FolderClaim(int descriptor, std::string key, std::string lockFile)
    : descriptor_(descriptor), key_(std::move(key)), lockFile_(std::move(lockFile)) {}

FolderClaim::~FolderClaim() {
  close(descriptor_);
  forget(key_);
}

std::unique_ptr<FolderClaim> FolderClaim::tryClaim(const std::string& folder, Refusal& refusal) {
  const std::string key = keyOf(folder);
  {
    const std::lock_guard<std::mutex> guard(claimsMutex);
    if (!claimsOfThisProcess().insert(key).second) {
      refusal.reason = folder + " is already being scanned by this program (process " + std::to_string(getpid()) + ").";
      return nullptr;
    }
  }
  std::string lockFile;
  try {
    lockFile = userRuntimeDir() + "/" + key + ".lock";
  } catch (const std::exception& error) {
    forget(key);
    refusal.reason = "No lock can be taken on " + folder + ": " + error.what() + ".";
    return nullptr;
  }
  const int descriptor = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor < 0) {
    const int error = errno;
    forget(key);
    refusal.reason = "No lock can be taken on " + folder + ": " + lockFile + ": " + std::strerror(error) + ".";
    return nullptr;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(descriptor, F_SETLK, &lock) != 0) {
    const int error = errno;
    struct flock holder {};
    holder.l_type = F_WRLCK;
    holder.l_whence = SEEK_SET;
    const bool held = (error == EACCES || error == EAGAIN);
    const bool known = held && fcntl(descriptor, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK;
    close(descriptor);
    forget(key);
    if (held) {
      refusal.reason = folder + " is already being scanned by another instance" +
                       (known ? " (process " + std::to_string(holder.l_pid) + ")" : std::string()) + ".";
    } else {
      refusal.reason = "No lock can be taken on " + folder + ": " + lockFile + ": " + std::strerror(error) + ".";
    }
    return nullptr;
  }
  // For an operator who looks: which process holds which folder.
  const std::string note = std::to_string(getpid()) + "\n" + folder + "\n";
  if (ftruncate(descriptor, 0) == 0) {
    [[maybe_unused]] const ssize_t written = pwrite(descriptor, note.data(), note.size(), 0);
  }
  return std::unique_ptr<FolderClaim>(new FolderClaim(descriptor, key, lockFile));
}

}  // namespace vd
