// Printing for the stand-ins: an application that has its print stream (a PostScript or
// PDF file) hands it to a printer of the print subsystem's table, by name or the default
// printer. The printer's driver, found by the driver name the table gives it, runs in the
// submitting process and returns when the job has come out, so the caller knows the
// outcome.
#pragma once

#include <string>

#include "outside/printing/PrinterDriver.h"

namespace vd {

// The drivers this build provides, by driver name (see PdfFileDriver.h).
PrinterDriverFactories RealPrinterDrivers();

// Prints streamPath on printerName, or on the default printer when printerName is "".
// Throws PrintError for a printer that is not installed, no default printer, a driver
// that is not among drivers, a file that is not a PostScript or PDF print stream, and for
// the driver's own failure.
void SubmitPrintStream(const std::string& printerName, const std::string& streamPath, const std::string& documentName,
                       const PrinterDriverFactories& drivers = RealPrinterDrivers());

}  // namespace vd
