#include "outside/acrobat/PdfWholeness.h"

#include <exception>
#include <fstream>

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

namespace vd {
namespace {

// A writer stopped early leaves no closing "%%EOF"; qpdf finds the cross-reference table
// without it, so the end is looked at first. A file that cannot be read is left to qpdf,
// which says why.
bool endsLikeAPdf(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return true;
  const std::streamoff length = static_cast<std::streamoff>(file.tellg());
  const std::streamoff tail = length < 1024 ? length : 1024;
  file.seekg(length - tail);
  std::string end(static_cast<std::size_t>(tail), '\0');
  file.read(end.data(), tail);
  return file && end.find("%%EOF") != std::string::npos;
}

}  // namespace

std::optional<std::string> WhyPdfIsNotWhole(const std::string& path) { return CheckPdfWholeness(path).damage; }

PdfWholeness CheckPdfWholeness(const std::string& path) {
  if (!endsLikeAPdf(path)) return {"it does not end with %%EOF: it was cut short", 0};
  try {
    QPDF document;
    document.setSuppressWarnings(true);
    // A file that opens only after repair was cut short or damaged while it was written.
    document.setAttemptRecovery(false);
    document.processFile(path.c_str());
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
    if (pages.empty()) return {"it has no pages", 0};
    for (QPDFPageObjectHelper page : pages) {
      Pl_Discard discard;
      page.pipeContents(&discard);
    }
    if (document.anyWarnings()) return {document.getWarnings().front().what(), 0};
    return {std::nullopt, static_cast<std::int32_t>(pages.size())};
  } catch (const QPDFExc& error) {
    // A PDF protected by an open password: its pages can't be read without it, but the
    // password is checked only after the trailer and the cross-reference table at its end
    // were read without repair, so the file was written to its end.
    if (error.getErrorCode() == qpdf_e_password) return {std::nullopt, 0};
    return {std::string(error.what()), 0};
  } catch (const std::exception& error) {
    return {std::string(error.what()), 0};
  }
}

std::optional<int> PdfPageCount(const std::string& path) {
  try {
    QPDF document;
    document.setSuppressWarnings(true);
    document.processFile(path.c_str());
    return static_cast<int>(QPDFPageDocumentHelper(document).getAllPages().size());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace vd
