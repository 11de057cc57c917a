#include "server/window/DroppedFiles.h"

#include <filesystem>

#include "common/Errors.h"
#include "common/Paths.h"
#include "platform/FileSystem.h"
#include "server/PassFilter.h"

namespace vd {
namespace {

// Numbered names end somewhere: a folder holding them all is no place to add more.
constexpr int kMostNumberedNames = 100000;

bool sameFolder(const std::string& a, const std::string& b) {
  std::error_code ignored;
  return std::filesystem::equivalent(a, b, ignored);
}

}  // namespace

DroppedFile CopyDroppedFile(const std::string& source, const std::string& inputDir) {
  FileSystem& files = fileSystem();
  const std::string name = fileNameOf(source);
  if (files.isDirectory(source)) return {"", "it is a folder; only files are converted"};
  if (name.empty() || name.front() == '.') return {"", "the scan leaves hidden files alone"};
  if (LeftAloneByName(name)) return {"", "the scan leaves PDFs and programs alone"};
  if (sameFolder(folderOf(source), inputDir)) return {"", "it is in the input folder already"};
  const std::string stem = withoutExtension(name);
  const std::string extension = name.substr(stem.size());
  std::string candidate = name;
  for (int number = 1; number <= kMostNumberedNames; ++number) {
    const std::string target = inputDir + "/" + candidate;
    if (!files.entryExists(target)) {
      try {
        files.copyFileAsNew(source, target);
        return {target, ""};
      } catch (const FileError& error) {
        // Taken since the look: the next number. Anything else is the copy's own trouble.
        if (error.reason() != "exists") return {"", error.reason()};
      }
    }
    candidate = stem + "_" + std::to_string(number) + extension;
  }
  return {"", "every numbered name for it is taken in the input folder"};
}

}  // namespace vd
