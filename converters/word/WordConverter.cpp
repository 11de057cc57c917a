#include "engine/CreatePDF.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "engine/ErrorPolicy.h"
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

std::string CreatePDF::NewPrintFilePath() {
  const std::string printFile = m_TempFilePath + GetRandomStem() + ".ps";
  if (FileExists(printFile)) fileSystem().deleteFile(printFile);
  return printFile;
}

void CreatePDF::DistillPrintFile(const std::string& printFile, const std::string& strPDFFile,
                                 const DistillingOptions& options) {
  if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
  DistillingStep(printFile, strPDFFile, options.strJobOptionsFile, options.blnShowWindow, options.blnSpoolJobs,
                 options.blnApplySecurity);
  fileSystem().deleteFile(printFile);
}

void CreatePDF::CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook,
                                   ExcelOptions& options) {
  if (!FileExists(strExcelWorkbook)) RaiseMissingInput(strExcelWorkbook);
  std::unique_ptr<ExcelApplication> application;
  std::unique_ptr<ExcelWorkbook> workbook;
  try {
    application = CreateExcelApplication();
    workbook = application->Workbooks().Open(strExcelWorkbook, options.strPassword, options.strWriteResPassword);
    application->DisplayAlerts(false);
    ExcelWorksheet& sheet =
        options.varExcelWorksheet ? workbook->Worksheets(*options.varExcelWorksheet) : workbook->ActiveSheet();
    ExcelPageSetup& setup = sheet.PageSetup();
    setup.PrintGridlines(options.blnUseGrid);
    if (!trimSpaces(options.strHeader).empty()) {
      switch (options.lngHeaderAlignment) {
        case 0: setup.LeftHeader(options.strHeader); break;
        case 1: setup.CenterHeader(options.strHeader); break;
        default: setup.RightHeader(options.strHeader); break;
      }
    }
    if (!trimSpaces(options.strFooter).empty()) {
      switch (options.lngFooterAlignment) {
        case 0: setup.LeftFooter(options.strFooter); break;
        case 2: setup.RightFooter(options.strFooter); break;
        default: setup.CenterFooter(options.strFooter); break;
      }
    }
    const std::pair<double, void (ExcelPageSetup::*)(double)> margins[] = {
        {options.dblTopMargin, &ExcelPageSetup::TopMargin},       {options.dblLeftMargin, &ExcelPageSetup::LeftMargin},
        {options.dblRightMargin, &ExcelPageSetup::RightMargin},   {options.dblBottomMargin, &ExcelPageSetup::BottomMargin},
        {options.dblHeaderMargin, &ExcelPageSetup::HeaderMargin}, {options.dblFooterMargin, &ExcelPageSetup::FooterMargin},
    };
    for (const auto& [inches, member] : margins) {
      if (inches > 0) (setup.*member)(application->InchesToPoints(inches));
    }
    setup.FirstPageNumber(options.lngFirstPageNumber);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = m_PrinterName;
    const std::string printFile = NewPrintFilePath();
    if (trimSpaces(options.strRange).empty()) options.strRange = "Print_Area";
    ExcelPrintOutArguments printing;
    printing.Copies = 1;
    printing.Preview = false;
    printing.ActivePrinter = options.strDistiller;
    printing.PrintToFile = true;
    printing.Collate = true;
    printing.PrToFilename = printFile;
    sheet.Range(options.strRange)->PrintOut(printing);
    FileSettleWait(printFile);
    application->DisplayAlerts(true);
    workbook->Close(false);
    workbook.reset();
    application->Quit();
    application.reset();

    DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    closeThenQuit(workbook, application, [](ExcelWorkbook& opened) { opened.Close(false); });
    RaiseAgain();
  }
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
    application->ActivePrinter(trimSpaces(options.strDistiller).empty() ? m_PrinterName : options.strDistiller);
    const std::string printFile = NewPrintFilePath();
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

    DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    closeThenQuit(document, application, [](WordDocument& opened) { opened.Close(false); });
    RaiseAgain();
  }
}

void CreatePDF::CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                                        PowerPointOptions& options) {
  if (!FileExists(strPPDocument)) RaiseMissingInput(strPPDocument);
  std::unique_ptr<PowerPointApplication> application;
  std::unique_ptr<PowerPointPresentation> presentation;
  try {
    application = CreatePowerPointApplication();
    application->Visible(-1);
    application->WindowState(2);
    presentation = application->Presentations().Open(strPPDocument);
    presentation->PrintOptions().PrintInBackground(0);
    presentation->PrintOptions().PrintColorType(1);
    presentation->PageSetup().SlideOrientation(options.blnHorizontalOrientation ? 1 : 2);
    const std::string savedPrinter = presentation->PrintOptions().ActivePrinter();
    presentation->PrintOptions().ActivePrinter(trimSpaces(options.strDistiller).empty() ? m_PrinterName
                                                                                         : options.strDistiller);
    const std::string printFile = NewPrintFilePath();
    presentation->PrintOut(options.lngStartSlide, options.lngEndSlide, printFile);
    presentation->PrintOptions().ActivePrinter(savedPrinter);
    presentation->Close();
    presentation.reset();
    application->Quit();
    application.reset();

    DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    closeThenQuit(presentation, application, [](PowerPointPresentation& opened) { opened.Close(); });
    RaiseAgain();
  }
}

void CreatePDF::CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile,
                                 DistillingOptions& options) {
  if (!FileExists(strPubFile)) RaiseMissingInput(strPubFile);
  std::unique_ptr<PublisherApplication> application;
  try {
    application = CreatePublisherApplication();
    application->Open(strPubFile);
    const std::string savedPrinter = application->ActiveDocument().ActivePrinter();
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = m_PrinterName;
    application->ActiveDocument().ActivePrinter(options.strDistiller);
    const std::string printFile = NewPrintFilePath();
    application->ActiveDocument().PrintOut(printFile);
    FileSettleWait(printFile);
    application->ActiveDocument().ActivePrinter(savedPrinter);
    application->ActiveDocument().Close();
    application->Quit();
    application.reset();

    DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    // Each clean-up step is tried whatever the one before did.
    if (application) {
      ignoringErrors([&] { application->ActiveDocument().Close(); });
      ignoringErrors([&] { application->Quit(); });
      application.reset();
    }
    RaiseAgain();
  }
}

}  // namespace vd
