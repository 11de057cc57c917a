// The driver of the PDFWriter printer ("Acrobat PDFWriter"): it shows no dialog and
// writes each job to the file named by the current user's registry value
//   HKEY_CURRENT_USER "Software\Adobe\Acrobat PDFWriter" "PDFFilename",
// which the application sets before it prints. Without that value the job fails.
#pragma once

#include "outside/printing/PrinterDriver.h"

namespace vd {

class PdfWriterDriver : public PrinterDriver {
 public:
  static constexpr const char* kDriverName = "Acrobat PDFWriter";
  static constexpr const char* kSettingsKey = "Software\\Adobe\\Acrobat PDFWriter";
  static constexpr const char* kFileNameValue = "PDFFilename";
  void print(const PrintJob& job) override;
};

}  // namespace vd
