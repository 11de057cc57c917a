#include "engine/CreatePDF.h"

#include "common/Text.h"
#include "engine/ErrorPolicy.h"
#include "engine/NotAvailable.h"
#include "platform/FileSystem.h"

namespace vd {
namespace {

// The page-number alignment Word is sent for a position code: any code but left and right
// centres the numbers.
std::int16_t wordAlignmentOf(std::int32_t code) {
  if (code == 0 || code == 2) return static_cast<std::int16_t>(code);
  return 1;
}

}  // namespace

void CreatePDF::CreatePDFfromExcel(const std::string&, const std::string&, ExcelOptions&) {
  RaiseNotAvailable("CreatePDFfromExcel");
}

void CreatePDF::CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument,
                                  WordOptions& options) {
  if (!FileExists(strWordDocument)) RaiseMissingInput(strWordDocument);
  std::unique_ptr<WordApplication> application;
  std::unique_ptr<WordDocument> document;
  try {
    application = CreateWordApplication();
    document = application->Documents().Open(strWordDocument, options.strPassword, options.strWritePassword);
    application->DisplayAlerts(0);
    try {
      document->PageSetup().Orientation(options.blnLandscape ? 1 : 0);
    } catch (...) {
      // A document whose orientation cannot be changed is printed as it is.
    }
    const std::int16_t alignment = wordAlignmentOf(options.lngPageNumberAlignment);
    if (options.blnPageNumberInFooter) {
      document->Sections(1).Footers(1).PageNumbers().Add(alignment, options.blnFirstPage);
    }
    if (options.blnPageNumberInHeader) {
      document->Sections(1).Headers(1).PageNumbers().Add(alignment, options.blnFirstPage);
    }
    const std::string savedPrinter = application->ActivePrinter();
    application->ActivePrinter(trimSpaces(options.strDistiller).empty() ? m_PrinterName : options.strDistiller);
    const std::string printFile = m_TempFilePath + GetRandomStem() + ".ps";
    if (FileExists(printFile)) fileSystem().deleteFile(printFile);
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

    if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    DistillingStep(printFile, strPDFFile, options.strJobOptionsFile, options.blnShowWindow, options.blnSpoolJobs,
                   options.blnApplySecurity);
    fileSystem().deleteFile(printFile);
  } catch (...) {
    // A failure while cleaning up is the one reported; it ends the clean-up.
    try {
      if (document) {
        document->Close(false);
        document.reset();
      }
      if (application) {
        application->Quit();
        application.reset();
      }
    } catch (...) {
      RaiseAgain();
    }
    RaiseAgain();
  }
}

void CreatePDF::CreatePDFfromPowerPoint(const std::string&, const std::string&, PowerPointOptions&) {
  RaiseNotAvailable("CreatePDFfromPowerPoint");
}
void CreatePDF::CreatePDFfromPub(const std::string&, const std::string&, DistillingOptions&) {
  RaiseNotAvailable("CreatePDFfromPub");
}

}  // namespace vd
