#include "outside/printing/PdfWriterDriver.h"

#include "outside/printing/PdfJobOutput.h"
#include "registry/clsRegistry.h"

namespace vd {

void PdfWriterDriver::print(const PrintJob& job) {
  std::string path;
  {
    clsRegistry registry;
    if (registry.OpenRegistry(HKEY_CURRENT_USER, kSettingsKey) != 0) {
      const RegValue value = registry.GetValue(kFileNameValue);
      if (value.kind() == RegValue::Kind::Text) path = value.asText();
      registry.CloseRegistry();
    }
  }
  if (path.empty()) {
    throw PrintError("The printer \"" + job.printerName + "\" has no file to write: the value " + kFileNameValue +
                     " of HKEY_CURRENT_USER\\" + kSettingsKey + " is not set.");
  }
  RequirePdfOutputPath(job.printerName, path);
  DistillPrintJob(job, path, false);
}

}  // namespace vd
