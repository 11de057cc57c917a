// Presentations (CreatePDFfromPowerPoint): slides printed by PowerPoint to a file, which the Distiller
// turns into the PDF.
#pragma once

#include "converters/Converter.h"

namespace vd {

class PowerPointConverter : public ConverterWith<PowerPointOptions> {
 public:
  std::string name() const override { return "CreatePDFfromPowerPoint"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strPPDocument,
           PowerPointOptions& options) override;
};

}  // namespace vd
