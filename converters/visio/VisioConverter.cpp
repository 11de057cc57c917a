#include "converters/visio/VisioConverter.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "converters/JobHelpers.h"
#include "platform/FileSystem.h"

namespace vd {

std::vector<std::string> VisioConverter::extensions() const { return {"vsd", "vsdx"}; }

OperationOptions VisioConverter::fixedOptions(bool /*security*/) const {
  VisioOptions options;
  options.strDistiller = "";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  options.strSecurityWindowCaption = "adobe pdf - security";
  return options;
}

void VisioConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strVisioFile,
                         VisioOptions& options) {
  if (!engine.FileExists(strVisioFile)) engine.RaiseMissingInput(strVisioFile);
  const JobHelpers helpers;
  std::unique_ptr<VisioApplication> application;
  std::unique_ptr<VisioDocument> document;
  try {
    application = engine.CreateVisioApplication();
    application->Visible(false);
    document = application->Documents().Open(strVisioFile);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = engine.PrinterName();
    if (engine.FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    document->Printer(options.strDistiller);
    engine.LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, &options.strSecurityWindowCaption);
    document->Print();
    engine.FileSettleWait(strPDFFile);
    if (options.blnCloseAcrobat) engine.CloseDocumentWindow(strPDFFile);
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

}  // namespace vd
