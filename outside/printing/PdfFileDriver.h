// The driver of a printer whose port is a PDF file: it distills each job through the
// Distiller stand-in (the interpreter's worker) into the file the port names, replacing
// what was there. A job that fails leaves no PDF and the Distiller's log beside it.
// Printers for the virtual PDF printers' dialogs build on the same distilling.
#pragma once

#include "outside/printing/PrinterDriver.h"

namespace vd {

class PdfFileDriver : public PrinterDriver {
 public:
  static constexpr const char* kDriverName = "Vellumdock PDF File";
  void print(const PrintJob& job) override;
};

}  // namespace vd
