// A folder held open by its descriptor. What is done through it happens in that very
// folder, whatever its path names meanwhile: someone who may write beside the folder (or
// inside it, for its subfolders) can rename it away and put a link to another folder in
// its place, and a step that went by the path would then remove or write another folder's
// files. No step here follows a link it meets inside the folder.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vd {

class OpenFolder {
 public:
  // Opens the folder at path, links on the way followed (an operator's path may be one).
  // Throws FileError when it cannot be opened or is no folder.
  explicit OpenFolder(const std::string& path);
  ~OpenFolder();
  OpenFolder(OpenFolder&& other) noexcept;
  OpenFolder& operator=(OpenFolder&& other) noexcept;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  // The path it was opened by, for messages.
  const std::string& path() const { return path_; }
  int descriptor() const { return descriptor_; }
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }

  // True when path names this very folder now (device and inode).
  bool isAt(const std::string& path) const;

  // The subfolder name, made when it is missing. Nothing when the name holds anything but
  // a real folder (a symbolic link, whatever it points at, a file); the reason is then in
  // refusal.
  std::optional<OpenFolder> subfolder(const std::string& name, std::string& refusal) const;

  // True when anything is at name: a dot-file, a link (even one pointing nowhere).
  bool hasEntry(const std::string& name) const;
  // Removes the file name as the platform's file system does: a folder, and an ordinary
  // file without any write permission bit (read-only), are refused. Throws FileError.
  void removeFile(const std::string& name) const;
  // Moves the entry name of this folder to newName in the folder `to`, never replacing
  // what is there: false when newName is taken. Throws FileError for any other failure.
  bool moveWithoutReplacing(const std::string& name, const OpenFolder& to, const std::string& newName) const;
  // Gives name the bytes, whole or not at all, never writing through a link of that name.
  // Throws FileError.
  void writeFile(const std::string& name, const std::string& bytes) const;

 private:
  OpenFolder(int descriptor, std::string path);

  int descriptor_ = -1;
  std::string path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace vd
