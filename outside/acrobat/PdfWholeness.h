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
// needs both opens the PDF once. A file found whole is not read again in this process while
// it stays as it was (the same file, length and modification time, under whatever name it
// was renamed to): the check where a PDF is written hands its verdict on to the check where
// the conversion's outcome is decided.
PdfWholeness CheckPdfWholeness(const std::string& path);

// The whole verdicts this process keeps, as lines for TakeWholenessVerdicts in another
// process: a helper program that wrote and checked a PDF hands its verdict to the process
// that decides the conversion's outcome, which then does not read the PDF again.
std::string WholenessVerdictLines();

// Keeps the verdicts of WholenessVerdictLines found among the lines of text (other lines are
// passed over), each for the very file it was made for while that stays as it was.
void TakeWholenessVerdicts(const std::string& text);

// Why the PDF at path is not whole, or nothing when it is: it must end with its "%%EOF" and
// open without repair (a trailer and cross-reference table at its end), have at least one
// page, and every
// page's content must read to its end without complaint. Of a PDF protected by an open
// password only the end can be read, and that is what is checked.
std::optional<std::string> WhyPdfIsNotWhole(const std::string& path);

}  // namespace vd
