// A printer's driver: what turns a print stream into the printer's output. The printer
// table (platform/PrintSubsystem.h) names each printer's driver; the drivers themselves
// are stand-ins (outside/printing/) and run in the process that submits the job, as
// printer drivers do. Applications print by handing a finished print stream, a
// PostScript or PDF file, to a printer.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/Text.h"

namespace vd {

// Why a print job did not come out; the engine turns it into an engine error.
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PrintJob {
  // The printer as the table names it, and its port (where a file driver writes).
  std::string printerName;
  std::string port;
  // The print stream: a PostScript or PDF file.
  std::string streamPath;
  // The document's title, as the application names the job.
  std::string documentName;
};

class PrinterDriver {
 public:
  virtual ~PrinterDriver() = default;
  // Returns when the job has come out. Throws PrintError when it did not; the driver
  // leaves no partial output behind.
  virtual void print(const PrintJob& job) = 0;
};

struct DriverNameLess {
  bool operator()(const std::string& a, const std::string& b) const { return toLowerAscii(a) < toLowerAscii(b); }
};

// Driver name (compared ignoring case, as the table's names are) -> its factory.
using PrinterDriverFactories = std::map<std::string, std::function<std::unique_ptr<PrinterDriver>()>, DriverNameLess>;

}  // namespace vd
