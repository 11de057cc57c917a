// Word documents (CreatePDFfromWord): printed by Word to a file, which the Distiller turns into the
// PDF. Today's text document formats join the row.
#pragma once

#include "converters/Converter.h"

namespace vd {

class WordConverter : public ConverterWith<WordOptions> {
 public:
  std::string name() const override { return "CreatePDFfromWord"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strWordDocument,
           WordOptions& options) override;
};

}  // namespace vd
