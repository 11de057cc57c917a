#include "engine/CreatePDF.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "engine/ErrorPolicy.h"
#include "engine/NotAvailable.h"
#include "platform/FileSystem.h"

namespace vd {

void CreatePDF::CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile,
                                   VisioOptions& options) {
  if (!FileExists(strVisioFile)) RaiseMissingInput(strVisioFile);
  std::unique_ptr<VisioApplication> application;
  std::unique_ptr<VisioDocument> document;
  try {
    application = CreateVisioApplication();
    application->Visible(false);
    document = application->Documents().Open(strVisioFile);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = m_PrinterName;
    if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    document->Printer(options.strDistiller);
    LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, &options.strSecurityWindowCaption);
    document->Print();
    FileSettleWait(strPDFFile);
    if (options.blnCloseAcrobat) CloseDocumentWindow(strPDFFile);
    document->Close();
    application->Quit();
    document.reset();
    application.reset();
  } catch (...) {
    // Each step is tried whatever the one before did; the first error is the one reported.
    if (document) ignoringErrors([&] { document->Close(); });
    if (application) ignoringErrors([&] { application->Quit(); });
    document.reset();
    application.reset();
    RaiseAgain();
  }
}
void CreatePDF::CreatePDFfromAutoCAD(const std::string&, const std::string&, AutoCADOptions&) {
  RaiseNotAvailable("CreatePDFfromAutoCAD");
}
void CreatePDF::CreatePDFfromCrystalReport(const std::string&, const std::string&, CrystalReportOptions&) {
  RaiseNotAvailable("CreatePDFfromCrystalReport");
}
void CreatePDF::CreatePDFfromTextFile3(const std::string&, const std::string&, TextFileOptions&) {
  RaiseNotAvailable("CreatePDFfromTextFile3");
}

}  // namespace vd
