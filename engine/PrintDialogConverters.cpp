#include "engine/CreatePDF.h"

#include "engine/NotAvailable.h"

namespace vd {

void CreatePDF::CreatePDFfromVisio(const std::string&, const std::string&, VisioOptions&) {
  RaiseNotAvailable("CreatePDFfromVisio");
}
void CreatePDF::CreatePDFfromAutoCAD(const std::string&, const std::string&, AutoCADOptions&) {
  RaiseNotAvailable("CreatePDFfromAutoCAD");
}
void CreatePDF::CreatePDFfromCrystalReport(const std::string&, const std::string&, CrystalReportOptions&) {
  RaiseNotAvailable("CreatePDFfromCrystalReport");
}
void CreatePDF::CreatePDFfromTextFile3(const std::string&, const std::string&, TextFileOptions&) {
  RaiseNotAvailable("CreatePDFfromTextFile3");
}

}  // namespace vd
