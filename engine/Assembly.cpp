#include "engine/CreatePDF.h"

#include "engine/NotAvailable.h"

namespace vd {

void CreatePDF::CreatePDFfromMultiPDF(const std::string&, const PathArray&) {
  RaiseNotAvailable("CreatePDFfromMultiPDF");
}
void CreatePDF::CreatePDFfromMultiPDF2(const std::string&, const PathArray&) {
  RaiseNotAvailable("CreatePDFfromMultiPDF2");
}
void CreatePDF::CreatePDFfromImageFile(const std::string&, const std::string&, const ImageInfoOptions&) {
  RaiseNotAvailable("CreatePDFfromImageFile");
}
void CreatePDF::CreatePSfromPDF(const std::string&, const std::string&) {}
std::string CreatePDF::AcrobatViewerVersion(AcroPDDoc&) { RaiseNotAvailable("AcrobatViewerVersion"); }
std::string CreatePDF::AcrobatViewerType(AcroPDDoc&) { RaiseNotAvailable("AcrobatViewerType"); }
std::string CreatePDF::AcrobatViewerVariation(AcroPDDoc&) { RaiseNotAvailable("AcrobatViewerVariation"); }
std::string CreatePDF::AcrobatLanguage(AcroPDDoc&) { RaiseNotAvailable("AcrobatLanguage"); }
std::string CreatePDF::AcrobatPlatform(AcroPDDoc&) { RaiseNotAvailable("AcrobatPlatform"); }
std::string CreatePDF::AcrobatFormsVersion(AcroPDDoc&) { RaiseNotAvailable("AcrobatFormsVersion"); }

}  // namespace vd
