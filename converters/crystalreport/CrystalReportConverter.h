// Crystal Reports (CreatePDFfromCrystalReport): printed by the report runtime on the Distiller printer,
// its save dialog answered by the keystroke helper.
#pragma once

#include "converters/Converter.h"

namespace vd {

class CrystalReportConverter : public ConverterWith<CrystalReportOptions> {
 public:
  std::string name() const override { return "CreatePDFfromCrystalReport"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strCrystalReport,
           CrystalReportOptions& options) override;
};

}  // namespace vd
