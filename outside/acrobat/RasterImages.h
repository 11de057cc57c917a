// Decoded pictures become PDF image objects without loss: palettes stay palettes (packed
// to 1, 2 or 4 bits where few colours are used, their rows copied as they are), grey
// stays grey, deep images keep their 16 bits, and transparency becomes a colour-key mask
// (one clear palette entry, as in GIF) or a soft mask. Continuous-tone samples are
// filtered for Flate as PNG rows are.
#pragma once

#include <string>

#include <qpdf/QPDFObjectHandle.hh>

class QImage;
class QPDF;

namespace vd {

QPDFObjectHandle MakeImageObject(QPDF& document, const QImage& picture);

// CMYK samples as they are (four a pixel, 8 or 16 bits, 16 big-endian), with a soft mask from
// alpha (one sample a pixel of the same depth) unless it is empty.
QPDFObjectHandle MakeCmykImageObject(QPDF& document, int width, int height, int bits, const std::string& samples,
                                     const std::string& alpha);

}  // namespace vd
