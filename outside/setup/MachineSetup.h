// The machine-wide installation the conversion engine expects to find, as the Acrobat
// setup leaves it: the Distiller printer "Adobe PDF" and the PDFWriter printer "Acrobat
// PDFWriter" in the printer table (their drivers are in outside/printing/), and in
// HKEY_LOCAL_MACHINE the Acrobat version and the Distiller printer's name. Running it
// again changes nothing that is already in place.
#pragma once

#include <ostream>
#include <string>

namespace vd {

class MachineSetup {
 public:
  static constexpr const char* kPrinterName = "Adobe PDF";
  static constexpr const char* kDriverName = "Adobe PDF Converter";
  static constexpr const char* kPortName = "Documents\\*.pdf (Adobe PDF)";
  static constexpr const char* kWriterPrinterName = "Acrobat PDFWriter";
  static constexpr const char* kWriterDriverName = "Acrobat PDFWriter";
  static constexpr const char* kWriterPortName = "LPT1:";
  static constexpr const char* kAcrobatVersionKey = "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion";
  static constexpr const char* kAcrobatVersion = "8.0";
  static constexpr const char* kDistillerPrinterKey = "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName";

  // Reports each step on out and failures on errors; the process exit code: 0 when
  // everything is in place afterwards, 1 otherwise.
  int run(std::ostream& out, std::ostream& errors);

 private:
  bool installPrinter(const std::string& name, const std::string& driver, const std::string& port, std::ostream& out,
                      std::ostream& errors);
  bool registerDefaultValue(const std::string& key, const std::string& text, std::ostream& out,
                            std::ostream& errors);
};

}  // namespace vd
