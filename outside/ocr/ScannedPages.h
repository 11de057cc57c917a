// Which pages are scans: a page whose content shows exactly one picture (an image
// XObject) and no text at all, and draws no form or inline image that could hold either.
// Such a page is what a scanner or a fax makes, and what the viewer makes of an image file.
#pragma once

#include <optional>

#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

namespace vd {

struct ScannedPicture {
  QPDFObjectHandle image;
  // From the picture's pixels (y downwards, as its samples are stored) to the page's
  // default user space.
  QPDFMatrix pictureToPage;
  // The content leaves the graphics state changed for whatever follows it: a cm outside
  // any q...Q, or openStates q's never closed.
  bool restoreState = false;
  int openStates = 0;
};

// The page's one picture; nothing when the page is not a scan or its content cannot be read.
std::optional<ScannedPicture> FindScannedPicture(QPDFPageObjectHelper& page);

}  // namespace vd
