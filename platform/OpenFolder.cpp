#include "platform/OpenFolder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/Errors.h"
#include "common/ReplacementFile.h"

namespace vd {
namespace {

std::string errnoText(int code) { return std::strerror(code); }

}  // namespace

OpenFolder::OpenFolder(const std::string& path) : path_(path) {
  descriptor_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) throw FileError("open", path, errnoText(errno));
  struct stat info {};
  if (fstat(descriptor_, &info) != 0) {
    const int error = errno;
    close(descriptor_);
    throw FileError("open", path, errnoText(error));
  }
  device_ = info.st_dev;
  inode_ = info.st_ino;
}

OpenFolder::OpenFolder(int descriptor, std::string path) : descriptor_(descriptor), path_(std::move(path)) {
  struct stat info {};
  if (fstat(descriptor_, &info) == 0) {
    device_ = info.st_dev;
    inode_ = info.st_ino;
  }
}

OpenFolder::~OpenFolder() {
  if (descriptor_ >= 0) close(descriptor_);
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)), device_(other.device_),
      inode_(other.inode_) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
  if (this != &other) {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = std::exchange(other.descriptor_, -1);
    path_ = std::move(other.path_);
    device_ = other.device_;
    inode_ = other.inode_;
  }
  return *this;
}

bool OpenFolder::isAt(const std::string& path) const {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_dev == device_ && info.st_ino == inode_;
}

std::optional<OpenFolder> OpenFolder::subfolder(const std::string& name, std::string& refusal) const {
  const std::string shown = path_ + "/" + name;
  if (mkdirat(descriptor_, name.c_str(), 0777) != 0 && errno != EEXIST) {
    refusal = shown + " cannot be made: " + errnoText(errno);
    return std::nullopt;
  }
  // O_NOFOLLOW on the last name: a link put there, to a folder or not, is refused.
  const int descriptor = openat(descriptor_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) {
    const int error = errno;
    struct stat info {};
    if (fstatat(descriptor_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
      refusal = shown + " is a symbolic link, not a folder";
    } else if (error == ENOTDIR) {
      refusal = shown + " is not a folder";
    } else {
      refusal = shown + " cannot be opened: " + errnoText(error);
    }
    return std::nullopt;
  }
  return OpenFolder(descriptor, shown);
}

bool OpenFolder::hasEntry(const std::string& name) const {
  struct stat info {};
  return fstatat(descriptor_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void OpenFolder::removeFile(const std::string& name) const {
  const std::string shown = path_ + "/" + name;
  struct stat info {};
  if (fstatat(descriptor_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) throw FileError("delete", shown, errnoText(errno));
  if (S_ISDIR(info.st_mode)) throw FileError("delete", shown, "is a directory");
  if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) throw FileError("delete", shown, "the file is read-only");
  if (unlinkat(descriptor_, name.c_str(), 0) != 0) throw FileError("delete", shown, errnoText(errno));
}

bool OpenFolder::moveWithoutReplacing(const std::string& name, const OpenFolder& to, const std::string& newName) const {
  if (renameat2(descriptor_, name.c_str(), to.descriptor_, newName.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS) throw FileError("move", path_ + "/" + name, errnoText(errno));
  // A file system that cannot refuse atomically: a link, not a rename, never replaces.
  if (linkat(descriptor_, name.c_str(), to.descriptor_, newName.c_str(), 0) != 0) {
    if (errno == EEXIST) return false;
    throw FileError("move", path_ + "/" + name, errnoText(errno));
  }
  if (unlinkat(descriptor_, name.c_str(), 0) != 0) throw FileError("move", path_ + "/" + name, errnoText(errno));
  return true;
}

void OpenFolder::writeFile(const std::string& name, const std::string& bytes) const {
  ReplacementFile file(descriptor_, name, path_ + "/" + name);
  file.write(bytes);
  file.commit();
}

}  // namespace vd
