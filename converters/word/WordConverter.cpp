#include "converters/word/WordConverter.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"

namespace vd {
namespace {

// The page-number alignment Word is sent for a position code: any code but left and right
// centres the numbers.
std::int16_t wordAlignmentOf(std::int32_t code) {
  if (code == 0 || code == 2) return static_cast<std::int16_t>(code);
  return 1;
}

}  // namespace

std::vector<std::string> WordConverter::extensions() const {
  return {"doc", "rtf", "htm", "html", "docx", "docm", "dotx", "odt", "fodt"};
}

OperationOptions WordConverter::fixedOptions(bool security) const {
  WordOptions options;
  options.strPassword = "";
  options.strWritePassword = "";
  options.strPages = "";
  options.blnLandscape = false;
  options.blnPageNumberInFooter = false;
  options.blnPageNumberInHeader = false;
  options.lngPageNumberAlignment = 1;
  options.blnFirstPage = false;
  UseEngineDistilling(options, security);
  return options;
}

void WordConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strWordDocument,
                        WordOptions& options) {
  if (!engine.FileExists(strWordDocument)) engine.RaiseMissingInput(strWordDocument);
  std::unique_ptr<WordApplication> application;
  std::unique_ptr<WordDocument> document;
  try {
    application = engine.CreateWordApplication();
    document = application->Documents().Open(strWordDocument, options.strPassword, options.strWritePassword);
    application->DisplayAlerts(0);
    // A document whose orientation cannot be changed is printed as it is.
    ignoringErrors([&] { document->PageSetup().Orientation(options.blnLandscape ? 1 : 0); });
    const std::int16_t alignment = wordAlignmentOf(options.lngPageNumberAlignment);
    if (options.blnPageNumberInFooter) {
      document->Sections(1).Footers(1).PageNumbers().Add(alignment, options.blnFirstPage);
    }
    if (options.blnPageNumberInHeader) {
      document->Sections(1).Headers(1).PageNumbers().Add(alignment, options.blnFirstPage);
    }
    const std::string savedPrinter = application->ActivePrinter();
    application->ActivePrinter(trimSpaces(options.strDistiller).empty() ? engine.PrinterName() : options.strDistiller);
    const std::string printFile = engine.NewPrintFilePath();
    WordPrintOutArguments printing;
    printing.Background = false;
    printing.Outputfilename = printFile;
    if (!trimSpaces(options.strPages).empty()) {
      printing.Pages = options.strPages;
      printing.Range = 4;
    }
    document->PrintOut(printing);
    application->ActivePrinter(savedPrinter);
    application->DisplayAlerts(-1);
    document->Close(false);
    document.reset();
    application->Quit();
    application.reset();

    engine.DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    closeThenQuit(document, application, [](WordDocument& opened) { opened.Close(false); });
    RaiseAgain();
  }
}

}  // namespace vd
