#include "platform/FolderClaim.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <set>

#include "common/Errors.h"
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

// The folder, held open from here on; nothing when it is not there (yet).
std::unique_ptr<OpenFolder> openIfThere(const std::string& folder) {
  try {
    return std::make_unique<OpenFolder>(folder);
  } catch (const FileError&) {
    return nullptr;
  }
}

// The folder's identity: device and inode of the folder opened; a folder that is not there
// (yet) by its path.
std::string keyOf(const std::string& folder, const OpenFolder* opened) {
  if (opened != nullptr) {
    return "input-" + hex(static_cast<unsigned long long>(opened->device())) + "-" +
           hex(static_cast<unsigned long long>(opened->inode()));
  }
  return "input-path-" + hex(std::hash<std::string>{}(folder));
}

void forget(const std::string& key) {
  const std::lock_guard<std::mutex> guard(claimsMutex);
  claimsOfThisProcess().erase(key);
}

}  // namespace

FolderClaim::FolderClaim(int descriptor, std::string key, std::string lockFile, std::unique_ptr<OpenFolder> folder)
    : descriptor_(descriptor), key_(std::move(key)), lockFile_(std::move(lockFile)), folder_(std::move(folder)) {}

FolderClaim::~FolderClaim() {
  close(descriptor_);
  forget(key_);
}

std::unique_ptr<FolderClaim> FolderClaim::tryClaim(const std::string& folder, Refusal& refusal) {
  std::unique_ptr<OpenFolder> opened = openIfThere(folder);
  const std::string key = keyOf(folder, opened.get());
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
    refusal.lockImpossible = true;
    refusal.reason = "No lock can be taken on " + folder + ": " + error.what() + ".";
    return nullptr;
  }
  const int descriptor = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor < 0) {
    const int error = errno;
    forget(key);
    refusal.lockImpossible = true;
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
      refusal.lockImpossible = true;
      refusal.reason = "No lock can be taken on " + folder + ": " + lockFile + ": " + std::strerror(error) + ".";
    }
    return nullptr;
  }
  // For an operator who looks: which process holds which folder.
  const std::string note = std::to_string(getpid()) + "\n" + folder + "\n";
  if (ftruncate(descriptor, 0) == 0) {
    [[maybe_unused]] const ssize_t written = pwrite(descriptor, note.data(), note.size(), 0);
  }
  return std::unique_ptr<FolderClaim>(new FolderClaim(descriptor, key, lockFile, std::move(opened)));
}

}  // namespace vd
