#include "converters/powerpoint/PowerPointConverter.h"

#include <memory>

#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"

namespace vd {

std::vector<std::string> PowerPointConverter::extensions() const { return {"ppt", "pptx", "pptm", "odp", "fodp"}; }

OperationOptions PowerPointConverter::fixedOptions(bool security) const {
  PowerPointOptions options;
  options.lngStartSlide = -1;
  options.lngEndSlide = -1;
  options.blnHorizontalOrientation = false;
  UseEngineDistilling(options, security);
  return options;
}

void PowerPointConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strPPDocument,
                              PowerPointOptions& options) {
  if (!engine.FileExists(strPPDocument)) engine.RaiseMissingInput(strPPDocument);
  std::unique_ptr<PowerPointApplication> application;
  std::unique_ptr<PowerPointPresentation> presentation;
  try {
    application = engine.CreatePowerPointApplication();
    application->Visible(-1);
    application->WindowState(2);
    presentation = application->Presentations().Open(strPPDocument);
    presentation->PrintOptions().PrintInBackground(0);
    presentation->PrintOptions().PrintColorType(1);
    presentation->PageSetup().SlideOrientation(options.blnHorizontalOrientation ? 1 : 2);
    const std::string savedPrinter = presentation->PrintOptions().ActivePrinter();
    presentation->PrintOptions().ActivePrinter(trimSpaces(options.strDistiller).empty() ? engine.PrinterName()
                                                                                        : options.strDistiller);
    const std::string printFile = engine.NewPrintFilePath();
    presentation->PrintOut(options.lngStartSlide, options.lngEndSlide, printFile);
    presentation->PrintOptions().ActivePrinter(savedPrinter);
    presentation->Close();
    presentation.reset();
    application->Quit();
    application.reset();

    engine.DistillPrintFile(printFile, strPDFFile, options);
  } catch (...) {
    closeThenQuit(presentation, application, [](PowerPointPresentation& opened) { opened.Close(); });
    RaiseAgain();
  }
}

}  // namespace vd
