// AutoCAD drawings (CreatePDFfromAutoCAD): a layout plotted to the Distiller printer (its save dialog
// answered by the keystroke helper), or to the PDFWriter for older viewers.
#pragma once

#include "converters/Converter.h"

namespace vd {

class AutoCADConverter : public ConverterWith<AutoCADOptions> {
 public:
  std::string name() const override { return "CreatePDFfromAutoCAD"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strDWGFile,
           AutoCADOptions& options) override;
};

}  // namespace vd
