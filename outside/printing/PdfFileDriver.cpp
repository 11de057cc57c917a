#include "outside/printing/PdfFileDriver.h"

#include "outside/distiller/GhostscriptDistiller.h"

namespace vd {

void PdfFileDriver::print(const PrintJob& job) {
  const std::string& target = job.port;
  if (target.empty() || target.front() != '/' || target.back() == '/') {
    throw PrintError("The port \"" + target + "\" of the printer \"" + job.printerName +
                     "\" is not the path of a PDF file.");
  }
  GhostscriptDistiller distiller(false);
  if (distiller.FileToPDF(job.streamPath, target, "") != 1) {
    throw PrintError("The printer \"" + job.printerName + "\" could not print " + job.streamPath + "; see " +
                     GhostscriptDistiller::LogPathFor(target) + ".");
  }
}

}  // namespace vd
