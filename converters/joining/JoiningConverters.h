// Joining PDFs into one (CreatePDFfromMultiPDF), and joining them so that each starts on an
// odd page (CreatePDFfromMultiPDF2, blank pages between). The scan cycle joins a script's
// parts with the first; neither takes a file of its own from the scan cycle.
#pragma once

#include "converters/Converter.h"

namespace vd {

class JoiningConverter : public ConverterWith<PathArray> {
 public:
  std::string name() const override { return "CreatePDFfromMultiPDF"; }

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& input,
           PathArray& varPDFFiles) override;
};

class PaddedJoiningConverter : public ConverterWith<PathArray> {
 public:
  std::string name() const override { return "CreatePDFfromMultiPDF2"; }

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& input,
           PathArray& varPDFFiles) override;
};

}  // namespace vd
