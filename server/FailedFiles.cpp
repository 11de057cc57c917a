#include "server/FailedFiles.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "common/Errors.h"
#include "common/IgnoringErrors.h"
#include "common/Paths.h"
#include "platform/FileSystem.h"
#include "platform/OpenFolder.h"

namespace vd {
namespace {

// The longest file name, in bytes, the file systems of this system accept.
constexpr std::size_t kLongestName = NAME_MAX;
constexpr std::string_view kReasonSuffix = ".error.txt";

// The first bytes of text, at most `limit` of them, without cutting a UTF-8 sequence
// in two (a name that is no UTF-8 is cut where the limit falls).
std::string beginningOf(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  if (end == 0) end = limit;
  return text.substr(0, end);
}

std::string shortHash(const std::string& text) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(hash));
  return digits;
}

bool reasonNameIsShortened(const std::string& name) { return name.size() + kReasonSuffix.size() > kLongestName; }

std::string reasonNameFor(const std::string& name) {
  if (!reasonNameIsShortened(name)) return name + std::string(kReasonSuffix);
  // Appended rather than prepended: GCC 12 warns falsely about "~" + std::string at -O3.
  std::string tag = "~";
  tag += shortHash(name);
  return beginningOf(name, kLongestName - tag.size() - kReasonSuffix.size()) + tag + std::string(kReasonSuffix);
}

bool taken(const OpenFolder& folder, const std::string& name) {
  // Hidden names and links count too: a free name must be free on disk.
  return folder.hasEntry(name) || folder.hasEntry(reasonNameFor(name));
}

std::string numberedName(const std::string& name, std::uint32_t number) {
  // The number goes before the extension; a hidden name (".profile") has none. Near the
  // length limit the base gives up its end; an extension too long to keep counts as part
  // of the base.
  std::string suffix = "_";
  suffix += std::to_string(number);
  std::string stem = withoutExtension(name);
  std::string extension = name.substr(stem.size());
  if (extension.size() + suffix.size() >= kLongestName) {
    stem = name;
    extension.clear();
  }
  return beginningOf(stem, kLongestName - suffix.size() - extension.size()) + suffix + extension;
}

}  // namespace

std::string KeepFailedFile(const OpenFolder& inputFolder, const std::string& name, const std::string& reason) {
  // Only a real folder of the input folder takes failed files: a link of that name would
  // have them, and their notes, written wherever it points.
  std::string refusal;
  const std::optional<OpenFolder> failed = inputFolder.subfolder(kFailedFolder, refusal);
  if (!failed) throw FileError("keep failed file", inputFolder.path() + "/" + name, refusal + "; the file stays where it is");
  std::string keptName = name;
  for (std::uint32_t number = 1;; ++number) {
    // Moved only under a name nothing holds, not even a link put there meanwhile.
    if (!taken(*failed, keptName) && inputFolder.moveWithoutReplacing(name, *failed, keptName)) break;
    if (number == UINT32_MAX) throw FileError("keep failed file", failed->path() + "/" + name, "no free name left");
    keptName = numberedName(name, number);
  }
  // The note is secondary: the file is safe even when the note cannot be written.
  try {
    const std::string heading = reasonNameIsShortened(keptName) ? keptName + "\r\n" : std::string();
    failed->writeFile(reasonNameFor(keptName), heading + reason + "\r\n");
  } catch (const FileError&) {
  }
  return failed->path() + "/" + keptName;
}

std::string KeepFailedFile(const std::string& inputDir, const std::string& name, const std::string& reason) {
  return KeepFailedFile(OpenFolder(inputDir), name, reason);
}

std::string FailureNotePath(const std::string& keptPath) {
  return folderOf(keptPath) + "/" + reasonNameFor(fileNameOf(keptPath));
}

namespace {

// The file names of the failed folder that are failed files, not their notes.
std::vector<std::string> failedNamesIn(FileSystem& files, const std::string& folder) {
  std::set<std::string> names;
  const std::unique_ptr<DirectoryListing> listing = files.listOrdinaryFiles(folder);
  while (const std::optional<std::string> name = listing->next()) names.insert(*name);
  // A note is named for a file beside it; a file that merely ends the same way is not one.
  std::set<std::string> notes;
  for (const std::string& name : names) notes.insert(reasonNameFor(name));
  std::vector<std::string> failed;
  for (const std::string& name : names) {
    if (notes.count(name) == 0) failed.push_back(name);
  }
  return failed;
}

std::string reasonOf(FileSystem& files, const std::string& folder, const std::string& name) {
  std::string text;
  try {
    text = files.readFile(folder + "/" + reasonNameFor(name));
  } catch (const FileError&) {
    return {};
  }
  // A shortened note names its file on its first line.
  if (reasonNameIsShortened(name) && text.rfind(name, 0) == 0) text.erase(0, name.size());
  std::string reason;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      if (!reason.empty() && reason.back() != ' ') reason += ' ';
    } else {
      reason += c;
    }
  }
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  return reason;
}

// The input folder's failed/ when it is a real folder of it; nothing when there is none, or
// when a link of that name would lead somewhere else.
std::optional<OpenFolder> realFailedFolder(const OpenFolder& input, std::string& refusal) {
  if (!input.hasEntry(kFailedFolder)) return std::nullopt;
  return input.subfolder(kFailedFolder, refusal);
}

}  // namespace

FailedFiles ListFailedFiles(const std::string& inputDir, std::size_t most) {
  FileSystem& files = fileSystem();
  FailedFiles failed;
  std::string refusal;
  std::optional<OpenFolder> real;
  try {
    real = realFailedFolder(OpenFolder(inputDir), refusal);
  } catch (const FileError&) {
    return failed;  // no input folder: no failed files to show
  }
  if (!real) return failed;
  const std::string folder = real->path();
  const std::vector<std::string> names = failedNamesIn(files, folder);
  failed.count = names.size();
  for (std::size_t i = 0; i < names.size() && i < most; ++i) {
    failed.files.push_back({names[i], reasonOf(files, folder, names[i])});
  }
  return failed;
}

std::string ReturnFailedFile(const std::string& inputDir, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    throw std::invalid_argument("not a file name: " + name);
  }
  const OpenFolder input(inputDir);
  // Only a real folder of the input folder: a link of that name would hand back a file from
  // wherever it points.
  std::string refusal;
  const std::optional<OpenFolder> failed = realFailedFolder(input, refusal);
  if (!failed && !refusal.empty()) throw FileError("return failed file", inputDir + "/" + name, refusal);
  // Ordinary files only: never a link, which could lead anywhere.
  FileSystem& files = fileSystem();
  const std::vector<std::string> failedNames =
      failed ? failedNamesIn(files, failed->path()) : std::vector<std::string>();
  if (std::find(failedNames.begin(), failedNames.end(), name) == failedNames.end()) {
    throw std::invalid_argument("no failed file is named " + name);
  }
  std::string returned = name;
  for (std::uint32_t number = 1;; ++number) {
    // Moved only under a name nothing holds, not even a file dropped there meanwhile.
    if (!input.hasEntry(returned) && failed->moveWithoutReplacing(name, input, returned)) break;
    if (number == UINT32_MAX) throw FileError("return failed file", inputDir + "/" + name, "no free name left");
    returned = numberedName(name, number);
  }
  // The file is back; a note left over would only say why it failed before.
  ignoringErrors([&] {
    if (failed->hasEntry(reasonNameFor(name))) failed->removeFile(reasonNameFor(name));
  });
  return returned;
}

}  // namespace vd
