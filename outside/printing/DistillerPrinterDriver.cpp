#include "outside/printing/DistillerPrinterDriver.h"

#include <optional>
#include <sstream>

#include "common/Environment.h"
#include "outside/printing/PdfJobOutput.h"
#include "outside/printing/PrintDialog.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"

namespace vd {
namespace {

double dialogBoundSeconds() { return positiveEnvironmentNumber("VELLUMDOCK_DIALOG_TIMEOUT", 30); }

// The dialog's answer when it was confirmed; PrintError when it was cancelled or none came.
PrintDialog::Answer confirmedAnswer(const std::string& caption, const PrintJob& job) {
  const double bound = dialogBoundSeconds();
  const std::optional<PrintDialog::Answer> answer = PrintDialog(caption).waitForAnswer(bound);
  const std::string dialog = "The dialog \"" + caption + "\" of the printer \"" + job.printerName + "\"";
  const std::string notPrinted = ": the job \"" + job.documentName + "\" was not printed.";
  if (!answer) {
    std::ostringstream seconds;
    seconds << bound;
    throw PrintError(dialog + " was not answered within " + seconds.str() + " seconds" + notPrinted);
  }
  if (!answer->confirmed) throw PrintError(dialog + " was cancelled" + notPrinted);
  return *answer;
}

bool securityAskedFor() {
  try {
    return DistillerSecuritySettings::read().protectPrintJobs;
  } catch (const SecuritySettingsError& error) {
    // A document is never left unprotected because its protection could not be read.
    throw PrintError(error.what());
  }
}

}  // namespace

void DistillerPrinterDriver::print(const PrintJob& job) {
  const std::string path = confirmedAnswer(kSaveCaption, job).text;
  RequirePdfOutputPath(job.printerName, path);
  const bool secured = securityAskedFor();
  if (secured) confirmedAnswer(kSecurityCaption, job);
  DistillPrintJob(job, path, secured);
}

}  // namespace vd
