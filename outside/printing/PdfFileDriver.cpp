#include "outside/printing/PdfFileDriver.h"

#include "outside/printing/PdfJobOutput.h"

namespace vd {

void PdfFileDriver::print(const PrintJob& job) {
  const std::string& target = job.port;
  if (target.empty() || target.front() != '/' || target.back() == '/') {
    throw PrintError("The port \"" + target + "\" of the printer \"" + job.printerName +
                     "\" is not the path of a PDF file.");
  }
  DistillPrintJob(job, target, false);
}

}  // namespace vd
