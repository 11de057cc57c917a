// Prints, for joining 100 PDFs and importing 100 JPEGs and 100 PNGs, our time per file
// against the reference programs' and the output sizes.
#include <sys/stat.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "common/Locations.h"
#include "engine/CreatePDF.h"

namespace {

class BenchEngine : public vd::CreatePDF {
 public:
  BenchEngine() { m_AcrobatVersion = "10.0"; }
};

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long long sizeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool run(const std::string& program, const QStringList& arguments) {
  QProcess process;
  process.start(QString::fromStdString(program), arguments);
  return process.waitForFinished(600000) && process.exitCode() == 0;
}

void makePdf(const std::string& path, int pages) {
  QPDF document;
  document.emptyPDF();
  QPDFObjectHandle font = document.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  for (int i = 0; i < pages; ++i) {
    QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << >> >> >>");
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    std::string content;
    for (int line = 0; line < 40; ++line) content += "BT /F1 11 Tf 72 " + std::to_string(740 - line * 16) + " Td (Line " + std::to_string(line) + " of page " + std::to_string(i) + ") Tj ET\n";
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, content));
    QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(document.makeIndirectObject(page)), false);
  }
  QPDFWriter writer(document, path.c_str());
  writer.write();
}

QImage picture(int seed) {
  QImage image(640, 480, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, 640, 480);
  gradient.setColorAt(0, QColor::fromHsv(seed * 7 % 360, 200, 250));
  gradient.setColorAt(1, QColor::fromHsv(seed * 13 % 360, 120, 90));
  painter.fillRect(image.rect(), gradient);
  painter.setPen(Qt::black);
  for (int i = 0; i < 30; ++i) painter.drawEllipse((seed * 37 + i * 53) % 600, (seed * 11 + i * 29) % 440, 40, 30);
  return image;
}

void row(const char* what, double ours, double theirs, long long ourBytes, long long theirBytes, int files) {
  std::printf("%-28s %10.2f ms %10.2f ms %7.2fx %12lld %12lld %7.2fx\n", what, ours * 1000 / files, theirs * 1000 / files,
              ours / theirs, ourBytes, theirBytes, static_cast<double>(ourBytes) / static_cast<double>(theirBytes));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication application(argc, argv);
  char pattern[] = "/tmp/vellumdock-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  constexpr int kFiles = 100;
  BenchEngine engine;
  std::printf("%-28s %13s %13s %8s %12s %12s %8s\n", "case (per file)", "ours", "reference", "ratio", "our bytes",
              "ref bytes", "ratio");

  vd::PathArray list;
  QStringList qpdfArguments{"--empty", "--pages"};
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = dir + "/doc" + std::to_string(i) + ".pdf";
    makePdf(path, 1 + i % 5);
    list.items.push_back(path);
    qpdfArguments << QString::fromStdString(path);
  }
  qpdfArguments << "--" << QString::fromStdString(dir + "/qpdf-joined.pdf");
  double start = now();
  engine.CreatePDFfromMultiPDF(dir + "/joined.pdf", list);
  const double ours = now() - start;
  start = now();
  run("qpdf", qpdfArguments);
  const double theirs = now() - start;
  row("join 100 PDFs (qpdf)", ours, theirs, sizeOf(dir + "/joined.pdf"), sizeOf(dir + "/qpdf-joined.pdf"), kFiles);

  for (const char* format : {"jpg", "png"}) {
    double ourTime = 0;
    double theirTime = 0;
    long long ourBytes = 0;
    long long theirBytes = 0;
    for (int i = 0; i < kFiles; ++i) {
      const std::string image = dir + "/image" + std::to_string(i) + "." + format;
      picture(i).save(QString::fromStdString(image), format);
      const std::string out = dir + "/ours-" + std::to_string(i) + ".pdf";
      const std::string reference = dir + "/img2pdf-" + std::to_string(i) + ".pdf";
      start = now();
      engine.CreatePDFfromImageFile(out, image);
      ourTime += now() - start;
      start = now();
      run("img2pdf", {QString::fromStdString(image), "-o", QString::fromStdString(reference)});
      theirTime += now() - start;
      ourBytes += sizeOf(out);
      theirBytes += sizeOf(reference);
    }
    row(std::string("100 ").append(format).append(" images (img2pdf)").c_str(), ourTime, theirTime, ourBytes, theirBytes, kFiles);
  }
  run("rm", {"-rf", QString::fromStdString(dir)});
  return 0;
}
