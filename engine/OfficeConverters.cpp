#include "engine/CreatePDF.h"

#include "engine/NotAvailable.h"

namespace vd {

void CreatePDF::CreatePDFfromExcel(const std::string&, const std::string&, ExcelOptions&) {
  RaiseNotAvailable("CreatePDFfromExcel");
}
void CreatePDF::CreatePDFfromWord(const std::string&, const std::string&, WordOptions&) {
  RaiseNotAvailable("CreatePDFfromWord");
}
void CreatePDF::CreatePDFfromPowerPoint(const std::string&, const std::string&, PowerPointOptions&) {
  RaiseNotAvailable("CreatePDFfromPowerPoint");
}
void CreatePDF::CreatePDFfromPub(const std::string&, const std::string&, DistillingOptions&) {
  RaiseNotAvailable("CreatePDFfromPub");
}

}  // namespace vd
