#include "outside/ocr/InvisibleText.h"

#include <algorithm>

#include <qpdf/QPDF.hh>

#include "outside/ocr/InvisibleTextFont.h"

namespace vd {
namespace {

// The share of a line's height above its base line that the font's ascent takes.
constexpr double kAscent = 0.8;

std::string hexString(const std::string& bytes) {
  static const char* const digits = "0123456789ABCDEF";
  std::string hex = "<";
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex + ">";
}

// The base line's height at x.
double baselineAt(const RecognizedLine& line, double x) {
  if (line.x1 <= line.x0) return line.baseline0;
  return line.baseline0 + (line.baseline1 - line.baseline0) * (x - line.x0) / (line.x1 - line.x0);
}

// A resource name for the font that the page does not use yet.
std::string freeFontName(QPDFObjectHandle fonts) {
  std::string name = "/VdText";
  for (int n = 1; fonts.hasKey(name); ++n) name = "/VdText" + std::to_string(n);
  return name;
}

}  // namespace

std::string InvisibleTextContent(const RecognizedPage& recognized, const QPDFMatrix& pictureToPage,
                                 const std::string& fontName) {
  QPDFMatrix pixelsToPage = pictureToPage;
  pixelsToPage.concat(recognized.toPicture);
  std::string words;
  for (const RecognizedLine& line : recognized.lines) {
    for (std::size_t i = 0; i < line.words.size(); ++i) {
      const RecognizedWord& word = line.words[i];
      const bool last = i + 1 == line.words.size();
      // A word and the space after it reach to the next word, so a reader sees no gap
      // wide enough to take for a column.
      const double start = word.x0;
      double end = last ? word.x1 : std::max(word.x1, line.words[i + 1].x0);
      if (end - start < 1) end = start + 1;
      const std::string codes = InvisibleTextCodes(last ? word.text : word.text + " ");
      if (codes.empty()) continue;
      const double advance = static_cast<double>(codes.size() / 2) * kInvisibleTextAdvance / 1000.0;
      const double base = baselineAt(line, start);
      double size = (base - line.y0) / kAscent;
      if (!(size >= 1)) size = std::max(1.0, line.y1 - line.y0);
      // Text space: one unit of the font's advance across the word, one em up the line
      // (pixels count downwards).
      QPDFMatrix placement = pixelsToPage;
      placement.concat(QPDFMatrix((end - start) / advance, 0, 0, -size, start, base));
      words += placement.unparse() + " Tm " + hexString(codes) + " Tj\n";
    }
  }
  if (words.empty()) return "";
  return "q\nBT\n3 Tr\n" + fontName + " 1 Tf\n" + words + "ET\nQ\n";
}

int AddInvisibleText(QPDFPageObjectHelper& page, const RecognizedPage& recognized, const QPDFMatrix& pictureToPage,
                     QPDFObjectHandle font, bool restoreState, int openStates) {
  int count = 0;
  for (const RecognizedLine& line : recognized.lines) count += static_cast<int>(line.words.size());
  if (count == 0) return 0;
  QPDFObjectHandle pageObject = page.getObjectHandle();
  QPDF* document = pageObject.getOwningQPDF();
  QPDFObjectHandle resources = page.getAttribute("/Resources", true);
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    pageObject.replaceKey("/Resources", resources);
  }
  QPDFObjectHandle fonts = resources.getKey("/Font");
  if (!fonts.isDictionary()) {
    fonts = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/Font", fonts);
  } else if (fonts.isIndirect()) {
    // Another page may share that dictionary: this page gets a copy of its own.
    fonts = fonts.shallowCopy();
    resources.replaceKey("/Font", fonts);
  }
  const std::string name = freeFontName(fonts);
  fonts.replaceKey(name, font);
  std::string layer = InvisibleTextContent(recognized, pictureToPage, name);
  if (restoreState) {
    // The page's content runs inside a state of its own, which the layer closes with
    // whatever the content left open, so the words are placed in the page's own space.
    page.addPageContents(QPDFObjectHandle::newStream(document, "q\n"), true);
    std::string closing;
    for (int i = 0; i <= openStates; ++i) closing += "Q\n";
    layer = closing + layer;
  }
  page.addPageContents(QPDFObjectHandle::newStream(document, layer), false);
  return count;
}

}  // namespace vd
