#include "outside/printing/PrintSubmission.h"

#include <fstream>

#include "outside/printing/DistillerPrinterDriver.h"
#include "outside/printing/PdfFileDriver.h"
#include "outside/printing/PdfWriterDriver.h"
#include "platform/PrintSubsystem.h"

namespace vd {
namespace {

// PostScript (a leading Ctrl-D as some drivers write it allowed), EPS with its binary
// preview header, or PDF: what the interpreter turns into a PDF.
bool isPrintStream(const std::string& head) {
  const std::string text = !head.empty() && head[0] == '\x04' ? head.substr(1) : head;
  return text.rfind("%!", 0) == 0 || text.rfind("%PDF-", 0) == 0 || head.rfind("\xC5\xD0\xD3\xC6", 0) == 0;
}

void requirePrintStream(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PrintError("The print stream " + path + " cannot be read.");
  std::string head(8, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (!isPrintStream(head)) throw PrintError("The file " + path + " is not a PostScript or PDF print stream.");
}

}  // namespace

PrinterDriverFactories RealPrinterDrivers() {
  PrinterDriverFactories drivers;
  drivers[PdfFileDriver::kDriverName] = [] { return std::make_unique<PdfFileDriver>(); };
  drivers[DistillerPrinterDriver::kDriverName] = [] { return std::make_unique<DistillerPrinterDriver>(); };
  drivers[PdfWriterDriver::kDriverName] = [] { return std::make_unique<PdfWriterDriver>(); };
  return drivers;
}

void SubmitPrintStream(const std::string& printerName, const std::string& streamPath, const std::string& documentName,
                       const PrinterDriverFactories& drivers) {
  PrintSubsystem& printers = printSubsystem();
  const std::string name = printerName.empty() ? printers.defaultPrinter() : printerName;
  if (name.empty()) throw PrintError("No default printer is set.");
  const auto printer = printers.findPrinter(name);
  if (!printer) throw PrintError("The printer \"" + name + "\" is not installed.");
  const auto driver = drivers.find(printer->driver);
  if (driver == drivers.end() || !driver->second) {
    throw PrintError("The driver \"" + printer->driver + "\" of the printer \"" + printer->name + "\" is not available.");
  }
  requirePrintStream(streamPath);
  driver->second()->print(PrintJob{printer->name, printer->port, streamPath, documentName});
}

}  // namespace vd
