// A file taken from its input folder for conversion, as a value: the cycle hands it to a
// way of converting and gets it back when its conversion has ended, with all it needs to
// finish the input (which folder, which PDF, the earlier PDF kept aside for its
// replacement).
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "server/SetAsidePdf.h"

namespace vd {

struct FileInHand {
  // Which of the cycle's folders it came from.
  std::size_t folder = 0;
  // Its name in the input folder, and both paths.
  std::string name;
  std::string in;
  std::string out;
  std::string ext;
  bool security = false;
  std::string inputDir;
  // Text recognition of scanned pages, as its folder's settings ask (ScanSettings).
  std::string ocrLanguages;
  bool ocrRotate = false;
  // Under overwrite, the PDF it replaces, kept aside until the replacement exists.
  std::unique_ptr<SetAsidePdf> replaced;

  bool isScript() const { return ext == "scr"; }
};

// The files whose conversions are under way, across the folders: what a file about to be
// taken must not collide with.
class FilesInHand {
 public:
  void add(const FileInHand& file) { files_.push_back(Entry{file.in, file.out, file.isScript()}); }
  void remove(const FileInHand& file) {
    files_.erase(std::find_if(files_.begin(), files_.end(), [&](const Entry& entry) { return entry.in == file.in; }));
  }
  bool holdsInput(const std::string& in) const {
    return std::any_of(files_.begin(), files_.end(), [&](const Entry& entry) { return entry.in == in; });
  }
  bool holdsOutput(const std::string& out) const {
    return std::any_of(files_.begin(), files_.end(), [&](const Entry& entry) { return entry.out == out; });
  }
  bool holdsScript() const {
    return std::any_of(files_.begin(), files_.end(), [](const Entry& entry) { return entry.script; });
  }
  bool empty() const { return files_.empty(); }
  std::size_t size() const { return files_.size(); }

 private:
  struct Entry {
    std::string in;
    std::string out;
    bool script = false;
  };
  std::vector<Entry> files_;
};

}  // namespace vd
