// Files and directories as the program sees them: listings of ordinary files and of folders, lengths,
// deletion, copying and directory creation. Dot-files count as hidden; a file without
// any write permission bit counts as read-only and cannot be deleted, as a file with the
// read-only attribute could not be on the system this program was first written for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Seam.h"

namespace vd {

// One pass over a directory: ordinary, non-hidden files in the file system's order.
// Symbolic links are not ordinary files, even when they point at one.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  // The next file name (no folder), or nothing at the end of the listing.
  virtual std::optional<std::string> next() = 0;
};

// What tells a file still being written from a settled one.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modifiedNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Throws FileError when the directory cannot be read.
  virtual std::unique_ptr<DirectoryListing> listOrdinaryFiles(const std::string& directory) = 0;
  // The names of the non-hidden folders in a directory (links to folders included), in
  // alphabetical order without regard to case. Throws FileError when it cannot be read.
  virtual std::vector<std::string> listFolders(const std::string& directory) = 0;
  // True when an entry (file or folder) exists exactly at path and is not hidden.
  virtual bool pathExists(const std::string& path) = 0;
  // True when anything at all is at path: a dot-file, a link (even one pointing nowhere).
  virtual bool entryExists(const std::string& path) = 0;
  // The length of an ordinary file; nothing when it cannot be read.
  virtual std::optional<std::uint64_t> fileLength(const std::string& path) = 0;
  virtual std::optional<FileStamp> stamp(const std::string& path) = 0;
  virtual bool isDirectory(const std::string& path) = 0;
  // The following throw FileError on failure. Reading (copyFile's source, readFile) takes
  // ordinary files only, links to them included, and stops at the length the file had
  // when it was opened: a pipe, a device or a folder fails at once instead of blocking or
  // never ending.
  virtual void deleteFile(const std::string& path) = 0;
  virtual void copyFile(const std::string& from, const std::string& to) = 0;
  // Copies a file under a name nothing has yet: the copy is written whole under a hidden
  // name beside the target and only then takes the target's name, which it never takes
  // from another file (reason "exists" when one appeared meanwhile).
  virtual void copyFileAsNew(const std::string& from, const std::string& to) = 0;
  // Moves a file, across file systems too; an existing target is replaced.
  virtual void moveFile(const std::string& from, const std::string& to) = 0;
  // Creates one directory; throws FileError, with reason "exists" when it already exists.
  virtual void createDirectory(const std::string& path) = 0;
  virtual std::string readFile(const std::string& path) = 0;
  virtual void writeFile(const std::string& path, const std::string& bytes) = 0;
};

template <>
FileSystem& Seam<FileSystem>::defaultInstance();
inline FileSystem& fileSystem() { return Seam<FileSystem>::get(); }

// The Linux realisation, for doubles that change only part of it.
class LinuxFileSystem : public FileSystem {
 public:
  std::unique_ptr<DirectoryListing> listOrdinaryFiles(const std::string& directory) override;
  std::vector<std::string> listFolders(const std::string& directory) override;
  bool pathExists(const std::string& path) override;
  bool entryExists(const std::string& path) override;
  std::optional<std::uint64_t> fileLength(const std::string& path) override;
  std::optional<FileStamp> stamp(const std::string& path) override;
  bool isDirectory(const std::string& path) override;
  void deleteFile(const std::string& path) override;
  void copyFile(const std::string& from, const std::string& to) override;
  void copyFileAsNew(const std::string& from, const std::string& to) override;
  void moveFile(const std::string& from, const std::string& to) override;
  void createDirectory(const std::string& path) override;
  std::string readFile(const std::string& path) override;
  void writeFile(const std::string& path, const std::string& bytes) override;
};

}  // namespace vd
