// Decoded pictures become PDF image objects without loss: palettes stay palettes (packed
// to 1, 2 or 4 bits where few colours are used), grey stays grey, deep images keep their
// 16 bits, and transparency becomes a soft mask.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>

class QImage;
class QPDF;

namespace vd {

QPDFObjectHandle MakeImageObject(QPDF& document, const QImage& picture);

}  // namespace vd
