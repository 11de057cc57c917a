// The driver of the Distiller printer ("Adobe PDF"). It asks where to save each job in
// its "Save PDF File As" dialog and, when the Distiller's security settings ask it to
// protect printed jobs (ProtectPrintJobs), has that confirmed in its "Adobe PDF -
// Security" dialog; then it distills the job into the file named, protected before it
// appears. The keystroke helper answers
// these dialogs for the engine (outside/tabnudge/). A dialog that is cancelled (Escape, a
// close request) or that no one answers within the bound ends the job without a PDF.
//
// Bound: VELLUMDOCK_DIALOG_TIMEOUT seconds for each dialog, 30 by default.
#pragma once

#include "outside/printing/PrinterDriver.h"

namespace vd {

class DistillerPrinterDriver : public PrinterDriver {
 public:
  static constexpr const char* kDriverName = "Adobe PDF Converter";
  static constexpr const char* kSaveCaption = "Save PDF File As";
  static constexpr const char* kSecurityCaption = "Adobe PDF - Security";
  void print(const PrintJob& job) override;
};

}  // namespace vd
