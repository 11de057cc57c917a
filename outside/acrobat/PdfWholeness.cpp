#include "outside/acrobat/PdfWholeness.h"

#include <exception>

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
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
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
}

}  // namespace vd
