// Writes a qpdf document to a file with the document object's save flags: bit 4 asks for
// a linearized file (fast web view), bit 32 for unreferenced objects to be left out. The
// file appears complete or not at all: it is written beside its final name and renamed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QPDF;
class QPDFWriter;

namespace vd {

inline constexpr std::int16_t kSaveLinearized = 4;
inline constexpr std::int16_t kSaveCollectGarbage = 32;

// Throws FileError when the file cannot be written. configure, when given, sets up the
// writer further (encryption) just before it writes.
void WritePdfFile(QPDF& document, std::int16_t saveFlags, const std::string& path,
                  const std::function<void(QPDFWriter&)>& configure = {});

}  // namespace vd
