#include "bench/images/LargeSamples.h"

#include <tiffio.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <stdexcept>

#include "bench/images/GifWriter.h"

namespace vd::bench {
namespace {

// Scaling smooths a small photo far more than a camera would; grain gives it back the
// fine detail that decides how well a real photo compresses.
QImage photo(const std::string& seedPhoto, int width, int height) {
  QImage seed(QString::fromStdString(seedPhoto));
  if (seed.isNull()) throw std::runtime_error("cannot read " + seedPhoto);
  QImage picture = seed.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
  std::uint32_t state = 12345;
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const int grain = static_cast<int>(state >> 28) - 8;
      const auto add = [grain](int value) { return std::clamp(value + grain, 0, 255); };
      line[x] = qRgb(add(qRed(line[x])), add(qGreen(line[x])), add(qBlue(line[x])));
    }
  }
  return picture;
}

void save(const QImage& picture, const std::string& path, const char* format, int quality = -1) {
  if (!picture.save(QString::fromStdString(path), format, quality)) throw std::runtime_error("cannot write " + path);
}

void writeLzwTiff(const QImage& picture, const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) throw std::runtime_error("cannot write " + path);
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(rgb.width()));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(rgb.height()));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  for (int y = 0; y < rgb.height(); ++y) {
    if (TIFFWriteScanline(tiff, const_cast<uchar*>(rgb.constScanLine(y)), static_cast<std::uint32_t>(y), 0) < 0) {
      TIFFClose(tiff);
      throw std::runtime_error("cannot write " + path);
    }
  }
  TIFFClose(tiff);
}

// Colour where the picture fades out towards its edges, with a fully clear stripe.
QImage withAlpha(const QImage& picture) {
  QImage faded = picture.convertToFormat(QImage::Format_ARGB32);
  const double cx = faded.width() / 2.0;
  const double cy = faded.height() / 2.0;
  for (int y = 0; y < faded.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(faded.scanLine(y));
    for (int x = 0; x < faded.width(); ++x) {
      const double dx = (x - cx) / cx;
      const double dy = (y - cy) / cy;
      const int alpha = y % 200 < 20 ? 0 : std::clamp(static_cast<int>(255 * (1.4 - (dx * dx + dy * dy))), 0, 255);
      line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), alpha);
    }
  }
  return faded;
}

// A chart-like drawing over the top half and the dithered photo below: what palette GIFs
// of this size usually hold.
QImage paletteDrawing(const QImage& picture, int side) {
  QImage canvas(side, side, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.drawImage(QRect(0, side / 2, side, side - side / 2), picture);
  for (int bar = 0; bar < 24; ++bar) {
    painter.fillRect(60 + bar * 80, side / 2 - 40 - bar * 35, 60, 40 + bar * 35, QColor::fromHsv(bar * 15, 200, 220));
  }
  painter.setPen(QPen(Qt::black, 3));
  for (int line = 0; line < 10; ++line) painter.drawLine(40, 60 + line * 100, side - 40, 60 + line * 100);
  painter.end();
  return canvas.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
}

void writeFax(const std::string& path, int pages) {
  constexpr int kWidth = 2480;
  constexpr int kHeight = 3508;
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) throw std::runtime_error("cannot write " + path);
  for (int page = 0; page < pages; ++page) {
    QImage sheet(kWidth, kHeight, QImage::Format_Grayscale8);
    sheet.fill(255);
    QPainter painter(&sheet);
    QFont font("Serif");
    font.setPixelSize(42);
    painter.setFont(font);
    // Running text differs from line to line, as a letter's does.
    static const char* const kWords[] = {"invoice", "delivery", "the", "of", "payment", "received", "order",
                                         "account", "and", "number", "please", "contract", "date", "total",
                                         "signed", "copy", "to", "a", "customer", "with"};
    std::uint32_t state = static_cast<std::uint32_t>(page) * 7919u + 1u;
    for (int line = 0; line < 70; ++line) {
      QString text = QString("%1.%2 ").arg(page + 1).arg(line + 1);
      for (int word = 0; word < 11; ++word) {
        state = state * 1664525u + 1013904223u;
        text += QString::fromLatin1(kWords[(state >> 16) % 20]) + ' ';
      }
      painter.drawText(200, 300 + line * 45, text);
    }
    painter.drawRect(150, 200, kWidth - 300, kHeight - 400);
    painter.end();
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(kWidth));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(kHeight));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(kHeight));
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<unsigned char> row((kWidth + 7) / 8);
    for (int y = 0; y < kHeight; ++y) {
      std::fill(row.begin(), row.end(), 0);
      const uchar* grey = sheet.constScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        if (grey[x] < 128) row[static_cast<std::size_t>(x / 8)] |= static_cast<unsigned char>(0x80 >> (x % 8));
      }
      if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
        TIFFClose(tiff);
        throw std::runtime_error("cannot write " + path);
      }
    }
    TIFFWriteDirectory(tiff);
  }
  TIFFClose(tiff);
}

}  // namespace

std::vector<SampleFile> MakeLargeSamples(const std::string& seedPhoto, const std::string& folder) {
  const QImage picture = photo(seedPhoto, 2400, 1600);
  std::vector<SampleFile> files{{"photo 2400x1600 (JPEG)", folder + "/photo.jpg"},
                                {"photo 2400x1600 (PNG)", folder + "/photo.png"},
                                {"photo 2400x1600 (LZW TIFF)", folder + "/photo-lzw.tif"},
                                {"photo 2400x1600 with alpha (PNG)", folder + "/photo-alpha.png"},
                                {"palette 2100x2100 (GIF)", folder + "/palette.gif"},
                                {"fax A4 300 dpi, 10 pages (G4 TIFF)", folder + "/fax-g4.tif"}};
  save(picture, files[0].path, "jpg", 90);
  save(picture, files[1].path, "png");
  writeLzwTiff(picture, files[2].path);
  save(withAlpha(picture), files[3].path, "png");
  WriteGif(paletteDrawing(picture, 2100), files[4].path);
  writeFax(files[5].path, 10);
  return files;
}

}  // namespace vd::bench
