#include "converters/publisher/PublisherConverter.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"

namespace vd {

std::vector<std::string> PublisherConverter::extensions() const { return {"pub"}; }

OperationOptions PublisherConverter::fixedOptions(bool security) const {
  DistillingOptions options;
  UseEngineDistilling(options, security);
  return options;
}

void PublisherConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strPubFile,
                             DistillingOptions& options) {
  if (!engine.FileExists(strPubFile)) engine.RaiseMissingInput(strPubFile);
  std::unique_ptr<PublisherApplication> application;
  try {
    application = engine.CreatePublisherApplication();
    application->Open(strPubFile);
    const std::string savedPrinter = application->ActiveDocument().ActivePrinter();
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = engine.PrinterName();
    application->ActiveDocument().ActivePrinter(options.strDistiller);
    const std::string printFile = engine.NewPrintFilePath();
    application->ActiveDocument().PrintOut(printFile);
    engine.FileSettleWait(printFile);
    application->ActiveDocument().ActivePrinter(savedPrinter);
    application->ActiveDocument().Close();
    application->Quit();
    application.reset();

    engine.DistillPrintFile(printFile, strPDFFile, options);
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
