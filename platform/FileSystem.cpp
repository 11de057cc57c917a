#include "FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>

#include "common/Errors.h"
#include "common/Paths.h"
#include "common/ReplacementFile.h"
#include "common/Text.h"

namespace vd {
namespace {

bool isHiddenName(const std::string& name) { return !name.empty() && name.front() == '.'; }

class PosixListing : public DirectoryListing {
 public:
  PosixListing(DIR* handle, std::string directory) : handle_(handle), directory_(std::move(directory)) {}
  ~PosixListing() override { closedir(handle_); }
  PosixListing(const PosixListing&) = delete;
  PosixListing& operator=(const PosixListing&) = delete;

  std::optional<std::string> next() override {
    while (const dirent* entry = readdir(handle_)) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || isHiddenName(name)) continue;
      // A link is not an ordinary file, whatever it points at: anyone who may drop files
      // into the folder could otherwise have the server read what only its account may.
      struct stat info {};
      if (lstat((directory_ + "/" + name).c_str(), &info) != 0) continue;  // vanished meanwhile
      if (S_ISREG(info.st_mode)) return name;
    }
    return std::nullopt;
  }

 private:
  DIR* handle_;
  std::string directory_;
};

std::string errnoText(int code) { return std::strerror(code); }

// An ordinary file opened for reading, and nothing else: a pipe, a device or a folder
// (also behind a link) is refused before anything could wait on it, and reading stops at
// the length the file had when it was opened, so neither a writer that never stops nor a
// special file can keep a reader busy for ever.
class OrdinaryFileReader {
 public:
  OrdinaryFileReader(const std::string& path, const char* operation) : path_(path), operation_(operation) {
    // Devices are not even opened: opening one can have effects of its own.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw FileError(operation_, path_, errnoText(errno));
    if (!S_ISREG(info.st_mode)) throw FileError(operation_, path_, "is not an ordinary file");
    descriptor_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor_ < 0) throw FileError(operation_, path_, errnoText(errno));
    // The entry may have been replaced since the look: what counts is what was opened.
    if (fstat(descriptor_, &info) != 0 || !S_ISREG(info.st_mode)) {
      close(descriptor_);
      throw FileError(operation_, path_, "is not an ordinary file");
    }
    const int flags = fcntl(descriptor_, F_GETFL);
    if (flags >= 0) fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK);
    remaining_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~OrdinaryFileReader() { close(descriptor_); }
  OrdinaryFileReader(const OrdinaryFileReader&) = delete;
  OrdinaryFileReader& operator=(const OrdinaryFileReader&) = delete;

  // The next bytes into buffer; an empty view at the end.
  std::string_view next(char* buffer, std::size_t capacity) {
    while (remaining_ > 0) {
      const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, remaining_));
      const ssize_t count = read(descriptor_, buffer, wanted);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throw FileError(operation_, path_, errnoText(errno));
      if (count == 0) break;  // shorter now than when it was opened
      remaining_ -= static_cast<std::uint64_t>(count);
      return std::string_view(buffer, static_cast<std::size_t>(count));
    }
    remaining_ = 0;
    return {};
  }

 private:
  std::string path_;
  const char* operation_;
  int descriptor_ = -1;
  std::uint64_t remaining_ = 0;
};

}  // namespace

template <>
FileSystem& Seam<FileSystem>::defaultInstance() {
  static LinuxFileSystem instance;
  return instance;
}

std::unique_ptr<DirectoryListing> LinuxFileSystem::listOrdinaryFiles(const std::string& directory) {
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) throw FileError("list", directory, errnoText(errno));
  return std::make_unique<PosixListing>(handle, directory);
}

bool LinuxFileSystem::pathExists(const std::string& path) {
  if (path.empty() || isHiddenName(fileNameOf(path))) return false;
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool LinuxFileSystem::entryExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && lstat(path.c_str(), &info) == 0;
}

std::optional<std::uint64_t> LinuxFileSystem::fileLength(const std::string& path) {
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  // Reading the length means the file can be opened, as on the original system.
  if (access(path.c_str(), R_OK) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

std::optional<FileStamp> LinuxFileSystem::stamp(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileStamp{static_cast<std::uint64_t>(info.st_size),
                   static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::vector<std::string> LinuxFileSystem::listFolders(const std::string& directory) {
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) throw FileError("list", directory, errnoText(errno));
  std::vector<std::string> folders;
  while (const dirent* entry = readdir(handle)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || isHiddenName(name)) continue;
    struct stat info {};
    if (stat((directory + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) folders.push_back(name);
  }
  closedir(handle);
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    const std::string lowerA = toLowerAscii(a);
    const std::string lowerB = toLowerAscii(b);
    return lowerA != lowerB ? lowerA < lowerB : a < b;
  });
  return folders;
}

bool LinuxFileSystem::isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void LinuxFileSystem::deleteFile(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) throw FileError("delete", path, errnoText(errno));
  if (S_ISDIR(info.st_mode)) throw FileError("delete", path, "is a directory");
  if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) throw FileError("delete", path, "the file is read-only");
  if (unlink(path.c_str()) != 0) throw FileError("delete", path, errnoText(errno));
}

namespace {

// A reader of the target sees the old file or the whole copy, never half of it.
void copyWhole(const std::string& from, const std::string& to, bool asNew) {
  OrdinaryFileReader in(from, "copy");
  try {
    ReplacementFile copy(to);
    char buffer[65536];
    for (std::string_view bytes; !(bytes = in.next(buffer, sizeof buffer)).empty();) copy.write(bytes);
    if (asNew) {
      copy.commitAsNew();
    } else {
      copy.commit();
    }
  } catch (const FileError& error) {
    if (error.operation() == "copy") throw;
    throw FileError("copy", to, error.reason());
  }
}

}  // namespace

void LinuxFileSystem::copyFile(const std::string& from, const std::string& to) { copyWhole(from, to, false); }

void LinuxFileSystem::copyFileAsNew(const std::string& from, const std::string& to) { copyWhole(from, to, true); }

void LinuxFileSystem::moveFile(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) == 0) return;
  if (errno != EXDEV) throw FileError("move", from, errnoText(errno));
  copyFile(from, to);
  if (unlink(from.c_str()) != 0) throw FileError("move", from, errnoText(errno));
}

void LinuxFileSystem::createDirectory(const std::string& path) {
  if (path.empty()) throw FileError("create directory", path, "empty path");
  if (mkdir(path.c_str(), 0777) == 0) return;
  if (errno == EEXIST) throw FileError("create directory", path, "exists");
  throw FileError("create directory", path, errnoText(errno));
}

std::string LinuxFileSystem::readFile(const std::string& path) {
  OrdinaryFileReader in(path, "read");
  std::string content;
  char buffer[65536];
  for (std::string_view bytes; !(bytes = in.next(buffer, sizeof buffer)).empty();) content.append(bytes);
  return content;
}

void LinuxFileSystem::writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw FileError("write", path, "cannot be opened");
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  // The last bytes reach the disk only when the file is closed: a full disk shows there.
  out.close();
  if (!out) throw FileError("write", path, "write failed");
}

}  // namespace vd
