// Images (CreatePDFfromImageFile): opened in the viewer, one page a frame, and saved as the PDF with
// the document information given.
#pragma once

#include "converters/Converter.h"

namespace vd {

class ImageConverter : public ConverterWith<ImageInfoOptions> {
 public:
  std::string name() const override { return "CreatePDFfromImageFile"; }
  std::vector<std::string> extensions() const override;
  OperationOptions fixedOptions(bool security) const override;
  ConversionWeight weight() const override { return ConversionWeight::Light; }

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strImagefile,
           ImageInfoOptions& options) override;
};

}  // namespace vd
