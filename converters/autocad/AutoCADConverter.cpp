#include "converters/autocad/AutoCADConverter.h"

#include <memory>

#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "converters/JobHelpers.h"
#include "outside/printing/PdfWriterDriver.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "registry/clsRegistry.h"

namespace vd {
namespace {

constexpr int kOlderPlotPauseMilliseconds = 1000;

}  // namespace

std::vector<std::string> AutoCADConverter::extensions() const { return {"dwg"}; }

OperationOptions AutoCADConverter::fixedOptions(bool /*security*/) const {
  AutoCADOptions options;
  options.varLayout.reset();
  options.strPDFWriter = "Acrobat PDFWriter";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  return options;
}

void AutoCADConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strDWGFile,
                           AutoCADOptions& options) {
  if (!engine.FileExists(strDWGFile)) engine.RaiseMissingInput(strDWGFile);
  const JobHelpers helpers;
  std::unique_ptr<AutoCADApplication> application;
  std::unique_ptr<AutoCADDocument> document;
  try {
    const bool newerAcrobat = leadingNumber(engine.AcrobatVersion()) > 5;
    // The writer's name is the operation's own copy.
    std::string strPDFWriter = options.strPDFWriter;
    if (newerAcrobat) {
      strPDFWriter = engine.PrinterName();
    } else {
      // The PDFWriter printer takes its output file from this value.
      clsRegistry registry;
      registry.OpenRegistry(HKEY_CURRENT_USER, PdfWriterDriver::kSettingsKey);
      registry.CreateValue(PdfWriterDriver::kFileNameValue, strPDFFile, REG_SZ);
      registry.CloseRegistry();
    }
    if (engine.FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    if (newerAcrobat) engine.LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, nullptr);
    application = engine.CreateAutoCADApplication();
    document = application->Application().Documents().Open(strDWGFile, true);
    const std::unique_ptr<AutoCADLayout> layout = document->Layouts(options.varLayout);
    document->ActiveLayout(*layout);
    document->Plot().PlotToDevice(strPDFWriter);
    if (newerAcrobat) {
      engine.FileSettleWait(strPDFFile);
      if (options.blnCloseAcrobat) engine.CloseDocumentWindow(strPDFFile);
    } else {
      eventPump().pause(kOlderPlotPauseMilliseconds);
    }
    document->Close(false);
    document.reset();
    application->Quit();
    application.reset();
  } catch (...) {
    // A failure of the clean-up reaches the caller in place of the first one.
    closeThenQuit(document, application, [](AutoCADDocument& opened) { opened.Close(std::nullopt); });
    RaiseAgain();
  }
}

}  // namespace vd
