// Which listed files a pass leaves alone although they are ordinary input files: files
// named as no input (PDFs, programs), files still being written, and files already
// converted whose deletion failed.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/FileSystem.h"

namespace vd {

// True for names a pass never takes: PDFs, programs ("exe") and "st6unst.log".
bool LeftAloneByName(const std::string& name);

// A file counts as still being written while its modification time lies less than one
// second from now (either way, so a clock step does not make a file look settled).
// Any write changes the modification time, so a growing file keeps being left for a
// later pass until it has been quiet for a second. The clock is the wall clock of the
// Clock seam, which is what file times are stamped with.
bool IsStillBeingWritten(const FileStamp& stamp);

// Files of one scan cycle that were converted but could not be deleted (or, after a
// failed conversion, could not be moved aside). They are not handled again while they
// stay unchanged; a changed file is new input.
class LeftInPlaceFiles {
 public:
  void remember(const std::string& path, const FileStamp& stamp) { stamps_[path] = stamp; }
  // True when path was remembered with exactly this stamp; a changed file is forgotten.
  bool isUnchanged(const std::string& path, const FileStamp& stamp);
  void clear() { stamps_.clear(); }

 private:
  std::map<std::string, FileStamp> stamps_;
};

}  // namespace vd
