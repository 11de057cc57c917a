#include "converters/crystalreport/CrystalReportConverter.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "converters/JobHelpers.h"
#include "platform/FileSystem.h"

namespace vd {

std::vector<std::string> CrystalReportConverter::extensions() const { return {"rpt"}; }

OperationOptions CrystalReportConverter::fixedOptions(bool /*security*/) const {
  CrystalReportOptions options;
  options.strDistiller = "";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  options.lngStartPage = 0;
  options.lngEndPage = 0;
  return options;
}

void CrystalReportConverter::run(EngineObject& engine, const std::string& strPDFFile,
                                 const std::string& strCrystalReport, CrystalReportOptions& options) {
  if (!engine.FileExists(strCrystalReport)) engine.RaiseMissingInput(strCrystalReport);
  const JobHelpers helpers;
  std::unique_ptr<CrystalReportsApplication> application;
  std::unique_ptr<CrystalReport> report;
  try {
    application = engine.CreateCrystalReportsApplication();
    report = application->OpenReport(strCrystalReport);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = engine.PrinterName();
    if (engine.FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    report->SelectPrinter("", options.strDistiller, "");
    engine.LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, nullptr);
    std::optional<std::int32_t> startPage;
    std::optional<std::int32_t> endPage;
    if (options.lngStartPage > 0) startPage = options.lngStartPage;
    if (options.lngEndPage > 0) endPage = options.lngEndPage;
    report->PrintOut(false, 1, false, startPage, endPage);
    engine.FileSettleWait(strPDFFile);
    if (options.blnCloseAcrobat) engine.CloseDocumentWindow(strPDFFile);
    report.reset();
    ignoringErrors([&] { application->CanClose(); });
    application.reset();
  } catch (...) {
    ignoringErrors([&] { report.reset(); });
    if (application) ignoringErrors([&] { application->CanClose(); });
    ignoringErrors([&] { application.reset(); });
    RaiseAgain();
  }
}

}  // namespace vd
