// Text files (CreatePDFfromTextFile3): printed by the text printer on the Distiller printer, made the
// default printer for the length of the call, its save dialog answered by the keystroke
// helper. Its row also takes every extension no other row names.
#pragma once

#include "converters/Converter.h"

namespace vd {

class TextFileConverter : public ConverterWith<TextFileOptions> {
 public:
  std::string name() const override { return "CreatePDFfromTextFile3"; }
  std::vector<std::string> extensions() const override;
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strTextFile,
           TextFileOptions& options) override;
};

}  // namespace vd
