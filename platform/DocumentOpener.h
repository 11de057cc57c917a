// Opening a file with the application the desktop associates with its type, as a
// double-click in a file manager does, or a link (a web or mail address) in the browser or
// mail program; the program does not wait for that application.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // target: an absolute path, or a link with its scheme ("mailto:...", "https://...").
  // False when no opener could be started (the file's application may still fail later).
  virtual bool open(const std::string& target) = 0;
};

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance();
inline DocumentOpener& documentOpener() { return Seam<DocumentOpener>::get(); }

}  // namespace vd
