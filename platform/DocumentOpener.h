// Opening a file with the application the desktop associates with its type, as a
// double-click in a file manager does; the program does not wait for that application.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // False when no opener could be started (the file's application may still fail later).
  virtual bool open(const std::string& path) = 0;
};

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance();
inline DocumentOpener& documentOpener() { return Seam<DocumentOpener>::get(); }

}  // namespace vd
