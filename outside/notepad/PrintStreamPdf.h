// The text printer's print stream: PDF pages of laid-out glyph runs. Each run goes into
// the page as a text operator per stretch of glyphs in one font resource, its glyph
// positions kept exactly (adjustments inside the operator where they differ from the
// glyphs' own advances). The fonts go in as subsets with one-byte codes, at most 256
// glyphs a resource, each with the characters of its glyphs (ToUnicode), so the text
// can be extracted and the Distiller reads the stream at the speed of its size.
#pragma once

#include <QGlyphRun>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vd {

class PrintStreamPdf {
 public:
  // Pages of pageWidth x pageHeight points; laid-out positions are in units of
  // 1/resolution inch from origin (points, from the page's top left corner), y downwards.
  PrintStreamPdf(double pageWidth, double pageHeight, QPointF origin, int resolution);
  ~PrintStreamPdf();
  PrintStreamPdf(const PrintStreamPdf&) = delete;
  PrintStreamPdf& operator=(const PrintStreamPdf&) = delete;

  void newPage();
  // A run of glyphs in one font, its positions moved by offset.
  void draw(const QGlyphRun& run, QPointF offset);
  // Writes the document; throws std::runtime_error when it cannot be written.
  void write(const std::string& path, const QString& title);

 private:
  class Fonts;
  void finishPage();

  double pageWidth_;
  double pageHeight_;
  QPointF origin_;
  double scale_;
  std::unique_ptr<Fonts> fonts_;
  std::vector<std::string> pages_;
  std::string content_;
  bool open_ = false;
  // The text state of the page being written.
  std::string fontInUse_;
  double sizeInUse_ = 0;
};

}  // namespace vd
