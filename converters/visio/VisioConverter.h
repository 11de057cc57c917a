// Visio drawings (CreatePDFfromVisio): printed whole by Visio on the Distiller printer, its save dialog
// answered by the keystroke helper.
#pragma once

#include "converters/Converter.h"

namespace vd {

class VisioConverter : public ConverterWith<VisioOptions> {
 public:
  std::string name() const override { return "CreatePDFfromVisio"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strVisioFile,
           VisioOptions& options) override;
};

}  // namespace vd
