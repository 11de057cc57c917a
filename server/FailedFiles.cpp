#include "server/FailedFiles.h"

#include <cstdint>

#include "common/Errors.h"
#include "common/Paths.h"
#include "platform/FileSystem.h"

namespace vd {
namespace {

bool taken(FileSystem& files, const std::string& path) {
  // Hidden names count too: a free name must be free on disk, not only in a listing.
  return files.stamp(path).has_value() || files.pathExists(path) || files.stamp(path + ".error.txt").has_value();
}

std::string numberedName(const std::string& name, std::uint32_t number) {
  // The number goes before the extension; a hidden name (".profile") has none.
  const std::string stem = withoutExtension(name);
  return stem + "_" + std::to_string(number) + name.substr(stem.size());
}

std::string freePathIn(FileSystem& files, const std::string& folder, const std::string& name) {
  std::string candidate = folder + "/" + name;
  for (std::uint32_t number = 1; taken(files, candidate); ++number) {
    if (number == UINT32_MAX) throw FileError("keep failed file", candidate, "no free name left");
    candidate = folder + "/" + numberedName(name, number);
  }
  return candidate;
}

}  // namespace

std::string KeepFailedFile(const std::string& inputDir, const std::string& name, const std::string& reason) {
  FileSystem& files = fileSystem();
  const std::string folder = inputDir + "/" + kFailedFolder;
  if (!files.isDirectory(folder)) {
    try {
      files.createDirectory(folder);
    } catch (const FileError&) {
      if (!files.isDirectory(folder)) throw;  // created meanwhile by someone else is fine
    }
  }
  const std::string target = freePathIn(files, folder, name);
  files.moveFile(inputDir + "/" + name, target);
  // The note is secondary: the file is safe even when the note cannot be written.
  try {
    files.writeFile(target + ".error.txt", reason + "\r\n");
  } catch (const FileError&) {
  }
  return target;
}

}  // namespace vd
