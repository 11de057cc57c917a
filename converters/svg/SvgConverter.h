// SVG drawings (.svg, and .svgz compressed), which the scan cycle converts as a kind of its
// own: drawn by the office suite's drawing component (its warm, bounded worker) on a page
// of the drawing's size into a vector PDF whose text stays text. The drawing is checked
// first (SvgDrawing.h) and the suite is given only the checked copy, in the engine's
// private temporary folder.
#pragma once

#include <memory>

#include "converters/Converter.h"

namespace vd {

class OfficeSuite;

class SvgConverter : public ConverterWith<std::monostate> {
 public:
  SvgConverter();
  ~SvgConverter() override;
  SvgConverter(const SvgConverter&) = delete;
  SvgConverter& operator=(const SvgConverter&) = delete;

  std::string name() const override { return "SVG drawing"; }
  std::vector<std::string> extensions() const override { return {"svg", "svgz"}; }
  ConversionWeight weight() const override { return ConversionWeight::Application; }

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strSvgFile,
           std::monostate& options) override;

 private:
  // The drawing component, started with the first drawing and kept warm for the next.
  std::unique_ptr<OfficeSuite> suite_;
};

}  // namespace vd
