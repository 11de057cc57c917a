#include "outside/notepad/TextTypesetter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <QTextOption>
#include <stdexcept>

namespace vd {
namespace {

constexpr int kTabColumns = 8;
constexpr int kResolution = 600;

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
  PageComposer(QPdfWriter& writer, QPainter& painter, const QString& documentName)
      : writer_(writer), painter_(painter), documentName_(documentName), font_(textFont()),
        metrics_(font_, &writer) {
    painter_.setFont(font_);
    lineSpacing_ = metrics_.lineSpacing();
    width_ = writer_.width();
    // Head, a blank line, the body, a blank line, the foot.
    linesPerPage_ = std::max(1, static_cast<int>((writer_.height() - 4 * lineSpacing_) / lineSpacing_));
    option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  }

  void line(const QString& text) {
    if (text.isEmpty()) {
      advance();
      return;
    }
    QTextLayout layout(text, font_, &writer_);
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
      layout.lineAt(i).draw(&painter_, QPointF(0, top));
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
      if (!writer_.newPage()) throw std::runtime_error("The printer's page could not be started.");
      beginPage();
    }
    return (2 + linesOnPage_++) * lineSpacing_;
  }

  void beginPage() {
    ++pages_;
    linesOnPage_ = 0;
    const double footTop = (3 + linesPerPage_) * lineSpacing_;
    const QString name = metrics_.elidedText(documentName_, Qt::ElideMiddle, width_);
    painter_.drawText(QRectF(0, 0, width_, lineSpacing_), Qt::AlignHCenter | Qt::AlignTop, name);
    painter_.drawText(QRectF(0, footTop, width_, lineSpacing_), Qt::AlignHCenter | Qt::AlignTop,
                      QStringLiteral("Page %1").arg(pages_));
  }

  QPdfWriter& writer_;
  QPainter& painter_;
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
  QPdfWriter writer(pdfPath);
  writer.setResolution(kResolution);
  writer.setTitle(documentName);
  writer.setCreator(QStringLiteral("Vellumdock"));
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(54, 36, 54, 36),
                                   QPageLayout::Point));
  QPainter painter;
  if (!painter.begin(&writer)) throw std::runtime_error("The print file " + pdfPath.toStdString() + " cannot be written.");
  PageComposer pages(writer, painter, documentName);

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
  if (!painter.end()) throw std::runtime_error("The print file " + pdfPath.toStdString() + " cannot be written.");
  return pageCount;
}

}  // namespace vd
