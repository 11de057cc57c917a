#include "outside/acrobat/PdfWholeness.h"

#include <exception>

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

namespace vd {

std::optional<std::string> WhyPdfIsNotWhole(const std::string& path) {
  try {
    QPDF document;
    document.setSuppressWarnings(true);
    // A file that opens only after repair was cut short or damaged while it was written.
    document.setAttemptRecovery(false);
    document.processFile(path.c_str());
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
    if (pages.empty()) return "it has no pages";
    for (QPDFPageObjectHelper page : pages) {
      Pl_Discard discard;
      page.pipeContents(&discard);
    }
    if (document.anyWarnings()) return document.getWarnings().front().what();
    return std::nullopt;
  } catch (const QPDFExc& error) {
    // A PDF protected by an open password: its pages can't be read without it, but the
    // password is checked only after the trailer and the cross-reference table at its end
    // were read without repair, so the file was written to its end.
    if (error.getErrorCode() == qpdf_e_password) return std::nullopt;
    return std::string(error.what());
  } catch (const std::exception& error) {
    return std::string(error.what());
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
