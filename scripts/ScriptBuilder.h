// The script builder without its widgets: the files of the folder being browsed, the
// script being put together, the texts of its labels and tooltips, which buttons show, and
// the saving of the script. Its window shows this state after every step; the questions and
// the save dialog go through the platform's dialog seams.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vd {

class ScriptBuilder {
 public:
  // Reads the stored script folder (default the work folder) and the network path option.
  ScriptBuilder();

  // The folder list: shows folder's plain files, in the file system's order; nothing is
  // selected afterwards. False when the folder cannot be listed (it then shows no files).
  bool changeDirectory(const std::string& folder);
  // The drive list: browses the drive's root, or "/" when that cannot be listed.
  void changeDrive(const std::string& root);
  const std::string& directory() const { return directory_; }
  const std::vector<std::string>& files() const { return files_; }
  // Changes with every new listing, so a view knows when to fill its list again.
  std::uint64_t filesRevision() const { return filesRevision_; }
  const std::string& filesLabel() const { return filesLabel_; }
  const std::string& filesTooltip() const { return filesTooltip_; }

  // A click on a file: its details and the add button.
  void selectFile(int index);
  int selectedFile() const { return selectedFile_; }
  const std::string& fileDetails() const { return fileDetails_; }
  bool addVisible() const { return selectedFile_ >= 0; }
  // Appends the selected file to the script: by its network location when the option is on
  // and the file lies on a network drive. A name with a line break is not added: the
  // script would read it as two entries.
  void addSelectedFile();

  const std::vector<std::string>& entries() const { return entries_; }
  std::uint64_t entriesRevision() const { return entriesRevision_; }
  void selectEntry(int index);
  int selectedEntry() const { return selectedEntry_; }
  const std::string& totalLabel() const { return totalLabel_; }
  const std::string& entriesTooltip() const { return entriesTooltip_; }
  // Delete, up and down act on the selected entry; clear and save on the whole script.
  bool entryButtonsVisible() const { return selectedEntry_ >= 0; }
  bool listButtonsVisible() const { return !entries_.empty(); }
  void deleteEntry();
  void moveUp();
  void moveDown();
  // Asks the operator first; on No nothing changes.
  void clearAsked();
  // Opens the entry with its desktop application (a network location through its mount).
  void openEntry(int index);

  bool uncPaths() const { return uncPaths_; }
  // Stored at once; the entries already in the script stay as they are.
  void setUncPaths(bool on);

  // Asks for the file (offering the script folder and "multiple.scr"), writes the entries
  // with CR LF line ends and tells the operator how it went. A name typed without an
  // extension gets ".scr": the server runs only files of that extension as scripts.
  // busy(true) and busy(false) frame the writing.
  void save(const std::function<void(bool)>& busy = {});
  const std::string& scriptDirectory() const { return scriptDirectory_; }

 private:
  void entriesChanged();

  std::string directory_;
  std::vector<std::string> files_;
  std::uint64_t filesRevision_ = 0;
  std::string filesLabel_;
  std::string filesTooltip_;
  int selectedFile_ = -1;
  std::string fileDetails_;

  std::vector<std::string> entries_;
  std::uint64_t entriesRevision_ = 0;
  int selectedEntry_ = -1;
  std::string totalLabel_;
  std::string entriesTooltip_;

  bool uncPaths_ = false;
  std::string scriptDirectory_;
};

}  // namespace vd
