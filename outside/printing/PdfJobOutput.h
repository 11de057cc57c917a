// What the PDF printers' drivers share: the check of the file a job is to be saved as,
// and the distilling of a job's print stream into it through the Distiller stand-in.
#pragma once

#include <string>

#include "outside/printing/PrinterDriver.h"

namespace vd {

// Throws PrintError unless path names a file (not a folder) by an absolute path in a
// folder that exists.
void RequirePdfOutputPath(const std::string& printerName, const std::string& path);

// Distills the job's stream into pdfPath, which appears whole or not at all; with
// applySecurity the PDF is protected with the Distiller's security settings before it
// appears. Throws PrintError naming the Distiller's log when the job did not come out.
void DistillPrintJob(const PrintJob& job, const std::string& pdfPath, bool applySecurity);

}  // namespace vd
