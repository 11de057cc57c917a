// The folder picker of the browse buttons: a dialog owned by a window, with a title and a
// start folder. Tests put a double here that picks or cancels.
#pragma once

#include <string>

#include "common/Seam.h"

class QWidget;

namespace vd {

class FolderPicker {
 public:
  virtual ~FolderPicker() = default;
  // The chosen folder's path, or "" when the operator cancels.
  virtual std::string browseForFolder(QWidget* owner, const std::string& title, const std::string& startFolder) = 0;
};

template <>
FolderPicker& Seam<FolderPicker>::defaultInstance();
inline FolderPicker& folderPicker() { return Seam<FolderPicker>::get(); }

}  // namespace vd
