// Publications (CreatePDFfromPub): printed whole by Publisher to a file, which the Distiller turns
// into the PDF.
#pragma once

#include "converters/Converter.h"

namespace vd {

class PublisherConverter : public ConverterWith<DistillingOptions> {
 public:
  std::string name() const override { return "CreatePDFfromPub"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strPubFile,
           DistillingOptions& options) override;
};

}  // namespace vd
