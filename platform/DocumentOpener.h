// Opening a document or a link with the desktop's default application (the help file in
// the PDF viewer, a web address in the browser, a mail address in the mail program). The
// caller never learns whether it worked: a missing file or a missing viewer says nothing.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // target: an absolute path, or a link with its scheme ("mailto:...", "https://...").
  virtual void open(const std::string& target) = 0;
};

template <>
DocumentOpener& Seam<DocumentOpener>::defaultInstance();
inline DocumentOpener& documentOpener() { return Seam<DocumentOpener>::get(); }

}  // namespace vd
