#include "outside/notepad/TextTypesetter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintDevice>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <stdexcept>

#include "outside/notepad/PrintStreamPdf.h"

namespace vd {
namespace {

constexpr int kTabColumns = 8;
constexpr int kResolution = 600;

const QPageLayout& pageLayout() {
  static const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(54, 36, 54, 36),
                                  QPageLayout::Point);
  return layout;
}

// Text is measured as it will stand on the page: a device that only tells the printer's
// resolution and its page's printable area.
class PrinterPage : public QPaintDevice {
 public:
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    const QRect area = pageLayout().paintRectPixels(kResolution);
    const QRectF millimetres = pageLayout().paintRect(QPageLayout::Millimeter);
    switch (metric) {
      case PdmWidth: return area.width();
      case PdmHeight: return area.height();
      case PdmWidthMM: return qRound(millimetres.width());
      case PdmHeightMM: return qRound(millimetres.height());
      case PdmNumColors: return INT_MAX;
      case PdmDepth: return 32;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY: return kResolution;
      case PdmDevicePixelRatio: return 1;
      case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
  }
};

QFont textFont() {
  QFont font;
  font.setFamilies({"DejaVu Sans Mono", "Liberation Mono", "Nimbus Mono PS", "WenQuanYi Micro Hei Mono",
                    "DejaVu Sans"});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSizeF(10);
  return font;
}

// Puts lines on pages: one line spacing apart, a new page when the body is full or a
// form feed asks for it, the head and foot drawn as each page begins.
class PageComposer {
 public:
  PageComposer(PrintStreamPdf& stream, const QString& documentName)
      : stream_(stream), documentName_(documentName), font_(textFont()), metrics_(font_, &page_) {
    lineSpacing_ = metrics_.lineSpacing();
    width_ = page_.width();
    // Head, a blank line, the body, a blank line, the foot.
    linesPerPage_ = std::max(1, static_cast<int>((page_.height() - 4 * lineSpacing_) / lineSpacing_));
    option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  }

  void line(const QString& text) {
    if (text.isEmpty()) {
      advance();
      return;
    }
    QTextLayout layout(text, font_, &page_);
    layout.setTextOption(option_);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
      row.setLineWidth(width_);
      row.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
    for (int i = 0; i < layout.lineCount(); ++i) {
      const double top = advance();
      draw(layout.lineAt(i), QPointF(0, top));
    }
  }

  void pageBreak() { ++pendingBreaks_; }

  int finish() {
    if (pages_ == 0) beginPage();
    return pages_;
  }

 private:
  // Makes room for one more line and returns its top.
  double advance() {
    if (pages_ == 0) beginPage();
    while (pendingBreaks_ > 0 || linesOnPage_ == linesPerPage_) {
      if (pendingBreaks_ > 0) --pendingBreaks_;
      beginPage();
    }
    return (2 + linesOnPage_++) * lineSpacing_;
  }

  void beginPage() {
    stream_.newPage();
    ++pages_;
    linesOnPage_ = 0;
    const double footTop = (3 + linesPerPage_) * lineSpacing_;
    centred(metrics_.elidedText(documentName_, Qt::ElideMiddle, width_), 0);
    centred(QStringLiteral("Page %1").arg(pages_), footTop);
  }

  // One line of text centred across the page, its top at top.
  void centred(const QString& text, double top) {
    QTextLayout layout(text, font_, &page_);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
      line.setLineWidth(width_);
      line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
    if (line.isValid()) draw(line, QPointF((width_ - line.naturalTextWidth()) / 2, top));
  }

  void draw(const QTextLine& line, QPointF at) {
    for (const QGlyphRun& run : line.glyphRuns()) stream_.draw(run, at);
  }

  PrinterPage page_;
  PrintStreamPdf& stream_;
  QString documentName_;
  QFont font_;
  QFontMetricsF metrics_;
  QTextOption option_;
  double lineSpacing_ = 0;
  double width_ = 0;
  int linesPerPage_ = 0;
  int linesOnPage_ = 0;
  int pages_ = 0;
  int pendingBreaks_ = 0;
};

bool isDropped(char16_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F); }

}  // namespace

int TextTypesetter::typeset(const QString& text, const QString& documentName, const QString& pdfPath) {
  const QRectF paper = pageLayout().fullRectPoints();
  const QMarginsF margins = pageLayout().marginsPoints();
  PrintStreamPdf stream(paper.width(), paper.height(), QPointF(margins.left(), margins.top()), kResolution);
  PageComposer pages(stream, documentName);

  QString current;
  int column = 0;
  // After a form feed, the end of its line starts no line of its own.
  bool afterFormFeed = false;
  auto endLine = [&] {
    if (!current.isEmpty() || !afterFormFeed) pages.line(current);
    current.clear();
    column = 0;
    afterFormFeed = false;
  };
  const qsizetype length = text.size();
  for (qsizetype i = 0; i < length; ++i) {
    const char16_t c = text[i].unicode();
    if (c == '\r') {
      if (i + 1 < length && text[i + 1] == u'\n') ++i;
      endLine();
    } else if (c == '\n') {
      endLine();
    } else if (c == '\f') {
      if (!current.isEmpty()) pages.line(current);
      current.clear();
      column = 0;
      pages.pageBreak();
      afterFormFeed = true;
    } else if (c == '\t') {
      const int spaces = kTabColumns - column % kTabColumns;
      current.append(QString(spaces, u' '));
      column += spaces;
    } else if (!isDropped(c)) {
      current.append(QChar(c));
      // The second half of a surrogate pair takes no column of its own.
      if (!QChar::isLowSurrogate(c)) ++column;
    }
  }
  if (!current.isEmpty()) pages.line(current);
  const int pageCount = pages.finish();
  stream.write(pdfPath.toStdString(), documentName);
  return pageCount;
}

}  // namespace vd
