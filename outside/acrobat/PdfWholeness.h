// Whether a PDF on disk is whole: a file cut short (a full disk, a killed writer) or
// otherwise damaged must never pass for a finished conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vd {

struct PdfWholeness {
  // Why the PDF is not whole; nothing when it is.
  std::optional<std::string> damage;
  // The pages of a whole PDF; 0 when an open password keeps them from being counted.
  std::int32_t pages = 0;
};

// The checks of WhyPdfIsNotWhole, with the pages they counted on the way, so that whoever
// needs both opens the PDF once.
PdfWholeness CheckPdfWholeness(const std::string& path);

// Why the PDF at path is not whole, or nothing when it is: it must end with its "%%EOF" and
// open without repair (a trailer and cross-reference table at its end), have at least one
// page, and every
// page's content must read to its end without complaint. Of a PDF protected by an open
// password only the end can be read, and that is what is checked.
std::optional<std::string> WhyPdfIsNotWhole(const std::string& path);

// The pages of the PDF at path, for those who show a conversion's outcome; nothing when it
// cannot be opened (or only with its password).
std::optional<int> PdfPageCount(const std::string& path);

}  // namespace vd
