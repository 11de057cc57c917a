#include "engine/CreatePDF.h"

#include "engine/NotAvailable.h"

namespace vd {

void CreatePDF::CreatePDFfromPS(const std::string&, const std::string&, DistillingOptions&) {
  RaiseNotAvailable("CreatePDFfromPS");
}
void CreatePDF::DistillingStep(const std::string&, const std::string&, const std::string&, bool, bool, bool) {
  RaiseNotAvailable("the distilling step");
}
void CreatePDF::LaunchKeystrokeHelper(const std::string&, const std::string&, const std::string*) {
  RaiseNotAvailable("the keystroke helper");
}
void CreatePDF::FileSettleWait(const std::string&) { RaiseNotAvailable("the file-settle wait"); }
void CreatePDF::CloseDocumentWindow(const std::string&) {}
bool CreatePDF::CloseAcrobat(bool, std::int16_t) { return false; }
bool CreatePDF::IsAcrobatHidden() { return false; }
std::string CreatePDF::GetRandomStem() { return "1"; }
std::string CreatePDF::GetSpecialFolderPath(std::int32_t&) { return {}; }

}  // namespace vd
