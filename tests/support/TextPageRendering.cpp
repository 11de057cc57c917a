#include "support/TextPageRendering.h"

#include <cmath>
#include <regex>
#include <stdexcept>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "outside/ghostscript/GhostscriptRunner.h"
#include "support/ContentChecks.h"

namespace vd::test {

std::string RenderTextPages(const TextPages& pages, const std::string& device, const std::string& picture) {
  const std::string source = picture + ".ps";
  WriteBytes(source, pages.postScript);
  const GhostscriptResult rendered =
      RunGhostscriptJob({"-sDEVICE=" + device, "-r300", "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4"}, source, picture);
  if (!rendered.ok) throw std::runtime_error("Ghostscript did not render " + picture + ": " + rendered.messages);
  return picture;
}

std::vector<WordBox> WordBoxes(const std::string& pdf) {
  const std::string html = ProgramOutput("pdftotext", {"-bbox", pdf, "-"});
  static const std::regex word(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  std::vector<WordBox> boxes;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it) {
    boxes.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), (*it)[5]});
  }
  return boxes;
}

std::vector<std::string> WordsOffTheirLines(const std::vector<WordBox>& boxes, const TextPageLayout& layout) {
  std::vector<std::string> off;
  for (const WordBox& box : boxes) {
    // pdftotext's box reaches a fifth of its height below the base line.
    const double baseline = box.yMin + 0.8 * (box.yMax - box.yMin);
    const double line = (baseline - layout.margin - layout.fontSize) / layout.leading;
    const bool onALine = std::abs(line - std::round(line)) < 0.25 && line > -0.5;
    const bool withinMargins = box.xMin > layout.margin - 3 && box.xMax < layout.width - layout.margin / 2;
    if (!onALine || !withinMargins) off.push_back(box.text);
  }
  return off;
}

namespace {

std::string bytesOf(const std::shared_ptr<Buffer>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

}  // namespace

std::vector<std::string> PictureStreams(const std::string& pdf) {
  QPDF document;
  document.processFile(pdf.c_str());
  std::vector<std::string> streams;
  for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages()) {
    for (auto& [name, image] : page.getImages()) {
      streams.push_back(name + image.getDict().getKey("/Filter").unparse() +
                        image.getDict().getKey("/DecodeParms").unparse() + bytesOf(image.getRawStreamData()));
    }
  }
  return streams;
}

}  // namespace vd::test
