// PostScript and EPS files (CreatePDFfromPS): distilled into the PDF. EPS is PostScript too: the Distiller
// crops its page to the bounding box.
#pragma once

#include "converters/Converter.h"

namespace vd {

class PostScriptConverter : public ConverterWith<DistillingOptions> {
 public:
  std::string name() const override { return "CreatePDFfromPS"; }
  std::vector<std::string> extensions() const override;
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strPSFile,
           DistillingOptions& options) override;
};

}  // namespace vd
