// Decoded pictures become PDF image objects without loss: palettes stay palettes (packed
// to 1, 2 or 4 bits where few colours are used, their rows copied as they are), grey
// stays grey, deep images keep their 16 bits, and transparency becomes a colour-key mask
// (one clear palette entry, as in GIF) or a soft mask. Continuous-tone samples are
// filtered for Flate as PNG rows are.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>

class QImage;
class QPDF;

namespace vd {

QPDFObjectHandle MakeImageObject(QPDF& document, const QImage& picture);

}  // namespace vd
