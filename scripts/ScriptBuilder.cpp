#include "scripts/ScriptBuilder.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Paths.h"
#include "common/ProgramTitle.h"
#include "common/Text.h"
#include "platform/DocumentOpener.h"
#include "platform/FileDialogs.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "scripts/FolderBrowsing.h"
#include "scripts/NetworkPaths.h"
#include "scripts/ScriptFile.h"

namespace vd {
namespace {

constexpr const char* kScriptDirKey = "ScriptDir";
constexpr const char* kUncKey = "UNC";

std::string countText(std::size_t count) { return std::to_string(count) + " files"; }

bool hasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

ScriptBuilder::ScriptBuilder() {
  ignoringErrors([&] {
    const std::optional<std::string> stored = settingsStore().read(kScriptDirKey);
    scriptDirectory_ = stored ? *stored : defaultWorkDir();
  });
  ignoringErrors([&] { uncPaths_ = trimSpaces(settingsStore().read(kUncKey, "0")) == "1"; });
}

bool ScriptBuilder::changeDirectory(const std::string& folder) {
  directory_ = folder;
  fileDetails_.clear();
  selectedFile_ = -1;
  files_.clear();
  ++filesRevision_;
  bool listed = true;
  try {
    const std::unique_ptr<DirectoryListing> listing = fileSystem().listOrdinaryFiles(folder);
    while (const std::optional<std::string> name = listing->next()) files_.push_back(*name);
  } catch (const std::exception&) {
    listed = false;
  }
  filesLabel_ = files_.empty() ? "" : files_.size() == 1 ? "1 file" : countText(files_.size());
  filesTooltip_ = files_.empty() ? "" : " Double-click on file to add to list ";
  return listed;
}

void ScriptBuilder::changeDrive(const std::string& root) {
  if (!fileSystem().isDirectory(root) || !changeDirectory(root)) changeDirectory("/");
}

void ScriptBuilder::selectFile(int index) {
  if (index < 0 || index >= static_cast<int>(files_.size())) return;
  selectedFile_ = index;
  fileDetails_ = FileDetails(PathInFolder(directory_, files_[static_cast<std::size_t>(index)]));
}

void ScriptBuilder::addSelectedFile() {
  if (selectedFile_ < 0) return;
  const std::string& name = files_[static_cast<std::size_t>(selectedFile_)];
  std::string entry = PathInFolder(directory_, name);
  if (hasLineBreak(entry)) return;
  if (uncPaths_) entry = ToNetworkPath(entry);
  entries_.push_back(entry);
  entriesChanged();
}

void ScriptBuilder::selectEntry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  selectedEntry_ = index;
}

void ScriptBuilder::deleteEntry() {
  if (selectedEntry_ < 0) return;
  entries_.erase(entries_.begin() + selectedEntry_);
  selectedEntry_ = -1;
  entriesChanged();
}

void ScriptBuilder::moveUp() {
  if (selectedEntry_ <= 0) return;
  std::swap(entries_[static_cast<std::size_t>(selectedEntry_)], entries_[static_cast<std::size_t>(selectedEntry_ - 1)]);
  --selectedEntry_;
  ++entriesRevision_;
}

void ScriptBuilder::moveDown() {
  if (selectedEntry_ < 0 || selectedEntry_ + 1 >= static_cast<int>(entries_.size())) return;
  std::swap(entries_[static_cast<std::size_t>(selectedEntry_)], entries_[static_cast<std::size_t>(selectedEntry_ + 1)]);
  ++selectedEntry_;
  ++entriesRevision_;
}

void ScriptBuilder::clearAsked() {
  if (!messageBoxes().askYesNo("Remove all items from the list?", kProgramTitle)) return;
  entries_.clear();
  selectedEntry_ = -1;
  entriesChanged();
}

void ScriptBuilder::openEntry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  const std::string& entry = entries_[static_cast<std::size_t>(index)];
  const std::string path = IsNetworkLocation(entry) ? ResolveNetworkLocation(entry).value_or(entry) : entry;
  ignoringErrors([&] { documentOpener().open(path); });
}

void ScriptBuilder::setUncPaths(bool on) {
  uncPaths_ = on;
  ignoringErrors([&] { settingsStore().write(kUncKey, on ? "1" : "0"); });
}

void ScriptBuilder::save(const std::function<void(bool)>& busy) {
  std::string path;
  ignoringErrors([&] {
    path = fileDialogs().saveFileName(
        SaveFileQuestion{"Save Script File", "Script Files (*.scr)|*.scr", scriptDirectory_, "multiple.scr", "scr"});
  });
  if (path.empty()) return;
  if (extensionOf(path).empty()) path += ".scr";
  if (busy) busy(true);
  const std::string folder = folderOf(path);
  if (!equalsIgnoreCase(folder, scriptDirectory_)) {
    ignoringErrors([&] { settingsStore().write(kScriptDirKey, folder); });
    scriptDirectory_ = folder;
  }
  std::string failure;
  try {
    WriteScriptFile(path, entries_);
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (busy) busy(false);
  // A script that was not written is never reported as saved.
  if (failure.empty()) {
    messageBoxes().show("Script file " + path + " saved.", kProgramTitle, MessageIcon::None);
  } else {
    messageBoxes().show("Script file " + path + " was not saved: " + failure, kProgramTitle, MessageIcon::Critical);
  }
}

void ScriptBuilder::entriesChanged() {
  ++entriesRevision_;
  totalLabel_ = entries_.empty() ? "" : countText(entries_.size());
  entriesTooltip_ = entries_.empty() ? "" : " Double-click on file to open ";
}

}  // namespace vd
