// vellumdk-rendericon PICTURE.svg SIZE OUTPUT.png: draws the scalable icon at one size for
// the desktops that look for bitmaps. Run by the build.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vellumdk-rendericon PICTURE.svg SIZE OUTPUT.png\n");
    return 2;
  }
  QGuiApplication application(argc, argv);
  const int size = std::atoi(argv[2]);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid() || size < 1 || size > 4096) {
    std::fprintf(stderr, "vellumdk-rendericon: cannot draw %s at size %s\n", argv[1], argv[2]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "vellumdk-rendericon: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
