// The system's file dialogs. Without windows (the default) nobody can answer and a dialog
// ends as if cancelled; the program with windows installs the Qt dialogs of
// platform/window/, and tests a double that answers.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

struct SaveFileQuestion {
  std::string title;
  // Description and pattern pairs, separated by "|": "Script Files (*.scr)|*.scr".
  std::string filter;
  std::string initialDir;
  std::string defaultName;
  // Given to a name typed without an extension, before the dialog checks whether the file
  // exists, so the question about replacing it is asked for the file really written.
  std::string defaultSuffix;
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen path, or "" when the operator cancels. The dialog asks before an existing
  // file is chosen for replacement.
  virtual std::string saveFileName(const SaveFileQuestion& question) = 0;
};

template <>
FileDialogs& Seam<FileDialogs>::defaultInstance();
inline FileDialogs& fileDialogs() { return Seam<FileDialogs>::get(); }

}  // namespace vd
