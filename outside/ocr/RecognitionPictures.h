// A page's picture as a file the recogniser reads, made without touching the picture in
// the document: JPEG data is written as it is stored, CCITT fax data goes into a TIFF file
// as it is, and every other picture qpdf can decode is written row by row as grey (PGM)
// or, when it has one bit a pixel, as black and white (PBM), whatever its size. Pictures
// coded as JBIG2 or JPEG 2000, and colour spaces without a grey to take (DeviceN), are not
// written.
#pragma once

#include <string>

#include <qpdf/QPDFObjectHandle.hh>

namespace vd {

// Writes image (an image XObject) to a new file named stem plus an extension saying its
// kind, and returns the file's path; "" with the reason in why when it cannot (nothing is
// left behind then).
std::string WritePictureForRecognition(QPDFObjectHandle image, const std::string& stem, std::string& why);

}  // namespace vd
