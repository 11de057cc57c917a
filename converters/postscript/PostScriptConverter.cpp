#include "converters/postscript/PostScriptConverter.h"

#include <memory>

#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "platform/FileSystem.h"

namespace vd {

std::vector<std::string> PostScriptConverter::extensions() const { return {"ps", "eps"}; }

OperationOptions PostScriptConverter::fixedOptions(bool /*security*/) const {
  DistillingOptions options;
  options.strDistiller = "";
  options.blnShowWindow = false;
  options.blnSpoolJobs = false;
  options.strJobOptionsFile = "";
  // Distiller security is never asked for PostScript input, whatever the option says.
  options.blnApplySecurity = false;
  return options;
}

void PostScriptConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strPSFile,
                              DistillingOptions& options) {
  if (!engine.FileExists(strPSFile)) engine.RaiseMissingInput(strPSFile);
  try {
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = engine.PrinterName();
    if (engine.FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    engine.DistillingStep(strPSFile, strPDFFile, options.strJobOptionsFile, options.blnShowWindow, options.blnSpoolJobs,
                          options.blnApplySecurity);
  } catch (...) {
    RaiseAgain();
  }
}

}  // namespace vd
