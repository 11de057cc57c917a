#include "converters/excel/ExcelConverter.h"

#include <memory>

#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"

namespace vd {

std::vector<std::string> ExcelConverter::extensions() const { return {"xls", "xlsx", "xlsm", "ods", "fods"}; }

OperationOptions ExcelConverter::fixedOptions(bool security) const {
  ExcelOptions options;
  options.varExcelWorksheet.reset();
  options.strRange = "";
  options.strPassword = "";
  options.strWriteResPassword = "";
  options.blnUseGrid = false;
  options.blnLandscape = false;
  options.strHeader = "";
  options.lngHeaderAlignment = 1;
  options.strFooter = "";
  options.lngFooterAlignment = 0;
  options.dblTopMargin = 0;
  options.dblLeftMargin = 0;
  options.dblRightMargin = 0;
  options.dblBottomMargin = 0;
  options.dblHeaderMargin = 0;
  options.dblFooterMargin = 0;
  options.lngFirstPageNumber = 1;
  UseEngineDistilling(options, security);
  return options;
}

void ExcelConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strExcelWorkbook,
                         ExcelOptions& options) {
  if (!engine.FileExists(strExcelWorkbook)) engine.RaiseMissingInput(strExcelWorkbook);
  std::unique_ptr<ExcelApplication> application;
  std::unique_ptr<ExcelWorkbook> workbook;
  try {
    application = engine.CreateExcelApplication();
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
        {options.dblTopMargin, &ExcelPageSetup::TopMargin},
        {options.dblLeftMargin, &ExcelPageSetup::LeftMargin},
        {options.dblRightMargin, &ExcelPageSetup::RightMargin},
        {options.dblBottomMargin, &ExcelPageSetup::BottomMargin},
        {options.dblHeaderMargin, &ExcelPageSetup::HeaderMargin},
        {options.dblFooterMargin, &ExcelPageSetup::FooterMargin},
    };
    for (const auto& [inches, member] : margins) {
      if (inches > 0) (setup.*member)(application->InchesToPoints(inches));
    }
    setup.FirstPageNumber(options.lngFirstPageNumber);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = engine.PrinterName();
    const std::string printFile = engine.NewPrintFilePath();
    if (trimSpaces(options.strRange).empty()) options.strRange = "Print_Area";
    ExcelPrintOutArguments printing;
    printing.Copies = 1;
    printing.Preview = false;
    printing.ActivePrinter = options.strDistiller;
    printing.PrintToFile = true;
    printing.Collate = true;
    printing.PrToFilename = printFile;
    sheet.Range(options.strRange)->PrintOut(printing);
    engine.FileSettleWait(printFile);
    application->DisplayAlerts(true);
    workbook->Close(false);
    workbook.reset();
    application->Quit();
    application.reset();

    engine.DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    closeThenQuit(workbook, application, [](ExcelWorkbook& opened) { opened.Close(false); });
    RaiseAgain();
  }
}

}  // namespace vd
