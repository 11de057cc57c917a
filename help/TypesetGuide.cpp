// vellumdk-typeset SOURCE.md OUTPUT.pdf TITLE: typesets the user guide, written in
// Markdown, as a PDF with selectable text, page numbers in the footer and the title in the
// document information. Run by the build; a failure fails the build.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <cstdio>

namespace {

constexpr qreal kPointsPerInch = 72.0;

int typeset(const QString& sourcePath, const QString& outputPath, const QString& title) {
  QFile source(sourcePath);
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "vellumdk-typeset: cannot read %s\n", qPrintable(sourcePath));
    return 1;
  }
  const QString markdown = QString::fromUtf8(source.readAll());

  QPdfWriter writer(outputPath);
  writer.setTitle(title);
  writer.setCreator("Vellumdock");
  writer.setResolution(static_cast<int>(kPointsPerInch));
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(54, 54, 54, 54),
                                   QPageLayout::Point));

  QTextDocument document;
  QFont body("DejaVu Sans");
  body.setPointSizeF(10);
  document.setDefaultFont(body);
  document.setDefaultStyleSheet("code { font-family: 'DejaVu Sans Mono'; }");
  document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  QTextFrameFormat frame = document.rootFrame()->frameFormat();
  frame.setMargin(0);
  document.rootFrame()->setFrameFormat(frame);

  // The page's body, in points at the writer's resolution; room below it for the footer.
  const QRectF page = writer.pageLayout().paintRect(QPageLayout::Point);
  const qreal footer = 24;
  const QSizeF body_size(page.width(), page.height() - footer);
  document.setPageSize(body_size);

  QPainter painter;
  if (!painter.begin(&writer)) {
    std::fprintf(stderr, "vellumdk-typeset: cannot write %s\n", qPrintable(outputPath));
    return 1;
  }
  const int pages = document.pageCount();
  QFont footerFont = body;
  footerFont.setPointSizeF(8);
  for (int number = 1; number <= pages; ++number) {
    if (number > 1) writer.newPage();
    painter.save();
    painter.translate(0, -(number - 1) * body_size.height());
    const QRectF shown(0, (number - 1) * body_size.height(), body_size.width(), body_size.height());
    document.drawContents(&painter, shown);
    painter.restore();
    painter.setFont(footerFont);
    painter.drawText(QRectF(0, body_size.height(), body_size.width(), footer), Qt::AlignLeft | Qt::AlignBottom, title);
    painter.drawText(QRectF(0, body_size.height(), body_size.width(), footer), Qt::AlignRight | Qt::AlignBottom,
                     QString("Page %1 of %2").arg(number).arg(pages));
  }
  if (!painter.end()) {
    std::fprintf(stderr, "vellumdk-typeset: cannot finish %s\n", qPrintable(outputPath));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vellumdk-typeset SOURCE.md OUTPUT.pdf TITLE\n");
    return 2;
  }
  QGuiApplication application(argc, argv);
  return typeset(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
}
