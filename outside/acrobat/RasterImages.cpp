#include "outside/acrobat/RasterImages.h"

#include <zlib.h>

#include <QImage>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include <qpdf/QPDF.hh>

namespace vd {
namespace {

std::string deflate(const std::string& raw) {
  uLongf capacity = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(capacity, '\0');
  // Level 9 where it costs little; very large pictures take the default level.
  const int level = raw.size() <= (8u << 20) ? 9 : Z_DEFAULT_COMPRESSION;
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &capacity, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), level) != Z_OK) {
    throw std::runtime_error("cannot compress the image data");
  }
  packed.resize(capacity);
  return packed;
}

// The image data and how to read it.
struct Samples {
  std::string raw;
  int bitsPerComponent = 8;
  QPDFObjectHandle colourSpace = QPDFObjectHandle::newName("/DeviceGray");
  QPDFObjectHandle decode = QPDFObjectHandle::newNull();  // null unless the samples are stored inverted
};

QPDFObjectHandle makeStream(QPDF& document, int width, int height, Samples samples) {
  QPDFObjectHandle image = QPDFObjectHandle::newStream(&document);
  image.replaceStreamData(deflate(samples.raw), QPDFObjectHandle::newName("/FlateDecode"),
                          QPDFObjectHandle::newNull());
  QPDFObjectHandle dictionary = image.getDict();
  dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(width));
  dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(height));
  dictionary.replaceKey("/ColorSpace", samples.colourSpace);
  dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(samples.bitsPerComponent));
  if (!samples.decode.isNull()) dictionary.replaceKey("/Decode", samples.decode);
  return image;
}

// Packs one index (or grey level) per pixel into rows of the given bit depth.
std::string packRows(const std::vector<std::uint8_t>& values, int width, int height, int bits) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 7) / 8;
  std::string packed(rowBytes * static_cast<std::size_t>(height), '\0');
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<unsigned char*>(packed.data()) + static_cast<std::size_t>(y) * rowBytes;
    for (int x = 0; x < width; ++x) {
      const unsigned value = values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
      const std::size_t bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(bits);
      row[bit / 8] = static_cast<unsigned char>(row[bit / 8] | value << (8 - bits - static_cast<int>(bit % 8)));
    }
  }
  return packed;
}

int bitsForColours(std::size_t colours) { return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8; }

// Up to 256 distinct colours become a palette; more make it a true-colour picture.
bool makePalette(const QImage& rgb, Samples& samples) {
  std::unordered_map<QRgb, std::uint8_t> indexOf;
  std::string palette;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(rgb.height()));
  std::size_t at = 0;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) {
      const QRgb colour = line[x] & 0xFFFFFFu;
      auto found = indexOf.find(colour);
      if (found == indexOf.end()) {
        if (indexOf.size() == 256) return false;
        found = indexOf.emplace(colour, static_cast<std::uint8_t>(indexOf.size())).first;
        palette.push_back(static_cast<char>(qRed(colour)));
        palette.push_back(static_cast<char>(qGreen(colour)));
        palette.push_back(static_cast<char>(qBlue(colour)));
      }
      indices[at++] = found->second;
    }
  }
  const int bits = bitsForColours(indexOf.size());
  bool allGrey = true;
  for (std::size_t i = 0; i + 2 < palette.size(); i += 3) {
    allGrey = allGrey && palette[i] == palette[i + 1] && palette[i] == palette[i + 2];
  }
  if (allGrey && bits == 8) {
    // A full range of greys is as small as grey samples, and needs no palette.
    std::vector<std::uint8_t> greys(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) greys[i] = static_cast<std::uint8_t>(palette[indices[i] * 3u]);
    samples.raw = packRows(greys, rgb.width(), rgb.height(), 8);
    samples.colourSpace = QPDFObjectHandle::newName("/DeviceGray");
    return true;
  }
  samples.raw = packRows(indices, rgb.width(), rgb.height(), bits);
  samples.bitsPerComponent = bits;
  samples.colourSpace = QPDFObjectHandle::newArray({QPDFObjectHandle::newName("/Indexed"),
                                                    QPDFObjectHandle::newName("/DeviceRGB"),
                                                    QPDFObjectHandle::newInteger(static_cast<long long>(indexOf.size()) - 1),
                                                    QPDFObjectHandle::newString(palette)});
  return true;
}

void appendBigEndian16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value & 0xFF));
}

bool isDeep(const QImage& picture) {
  switch (picture.format()) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
      return true;
    default:
      return false;
  }
}

bool hasOpaquePalette(const QImage& picture) {
  const QImage::Format format = picture.format();
  if (format != QImage::Format_Mono && format != QImage::Format_MonoLSB && format != QImage::Format_Indexed8) {
    return false;
  }
  const QList<QRgb> table = picture.colorTable();
  if (table.isEmpty() || table.size() > 256) return false;
  for (QRgb colour : table) {
    if (qAlpha(colour) != 255) return false;
  }
  return true;
}

// Palette pictures (bilevel faxes, GIF, paletted BMP) keep their palette as it is.
void indexedSamples(const QImage& picture, Samples& samples) {
  const QImage indexed = picture.convertToFormat(QImage::Format_Indexed8);
  const QList<QRgb> table = indexed.colorTable();
  std::vector<std::uint8_t> indices;
  indices.reserve(static_cast<std::size_t>(indexed.width()) * static_cast<std::size_t>(indexed.height()));
  for (int y = 0; y < indexed.height(); ++y) {
    const uchar* line = indexed.constScanLine(y);
    indices.insert(indices.end(), line, line + indexed.width());
  }
  std::string palette;
  for (QRgb colour : table) {
    palette.push_back(static_cast<char>(qRed(colour)));
    palette.push_back(static_cast<char>(qGreen(colour)));
    palette.push_back(static_cast<char>(qBlue(colour)));
  }
  const int bits = bitsForColours(static_cast<std::size_t>(table.size()));
  samples.raw = packRows(indices, indexed.width(), indexed.height(), bits);
  samples.bitsPerComponent = bits;
  samples.colourSpace = QPDFObjectHandle::newArray({QPDFObjectHandle::newName("/Indexed"),
                                                    QPDFObjectHandle::newName("/DeviceRGB"),
                                                    QPDFObjectHandle::newInteger(table.size() - 1),
                                                    QPDFObjectHandle::newString(palette)});
}

}  // namespace

QPDFObjectHandle MakeImageObject(QPDF& document, const QImage& picture) {
  const int width = picture.width();
  const int height = picture.height();
  const bool alpha = picture.hasAlphaChannel();
  Samples samples;
  std::string mask;
  int maskBits = 8;

  if (isDeep(picture) && picture.format() == QImage::Format_Grayscale16) {
    samples.bitsPerComponent = 16;
    samples.colourSpace = QPDFObjectHandle::newName("/DeviceGray");
    for (int y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const quint16*>(picture.constScanLine(y));
      for (int x = 0; x < width; ++x) appendBigEndian16(samples.raw, line[x]);
    }
  } else if (isDeep(picture)) {
    const QImage deep = picture.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    samples.bitsPerComponent = 16;
    samples.colourSpace = QPDFObjectHandle::newName("/DeviceRGB");
    maskBits = 16;
    bool opaque = true;
    for (int y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const QRgba64*>(deep.constScanLine(y));
      for (int x = 0; x < width; ++x) {
        appendBigEndian16(samples.raw, line[x].red());
        appendBigEndian16(samples.raw, line[x].green());
        appendBigEndian16(samples.raw, line[x].blue());
        appendBigEndian16(mask, line[x].alpha());
        opaque = opaque && line[x].alpha() == 65535;
      }
    }
    if (!alpha || opaque) mask.clear();
  } else if (hasOpaquePalette(picture)) {
    indexedSamples(picture, samples);
  } else if (picture.format() == QImage::Format_Grayscale8) {
    samples.colourSpace = QPDFObjectHandle::newName("/DeviceGray");
    for (int y = 0; y < height; ++y) {
      samples.raw.append(reinterpret_cast<const char*>(picture.constScanLine(y)), static_cast<std::size_t>(width));
    }
  } else {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    if (!makePalette(argb, samples)) {
      samples.colourSpace = QPDFObjectHandle::newName("/DeviceRGB");
      samples.raw.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
      for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
          samples.raw.push_back(static_cast<char>(qRed(line[x])));
          samples.raw.push_back(static_cast<char>(qGreen(line[x])));
          samples.raw.push_back(static_cast<char>(qBlue(line[x])));
        }
      }
    }
    if (alpha) {
      bool opaque = true;
      mask.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
          mask.push_back(static_cast<char>(qAlpha(line[x])));
          opaque = opaque && qAlpha(line[x]) == 255;
        }
      }
      if (opaque) mask.clear();
    }
  }

  QPDFObjectHandle image = makeStream(document, width, height, std::move(samples));
  if (!mask.empty()) {
    Samples maskSamples;
    maskSamples.raw = std::move(mask);
    maskSamples.bitsPerComponent = maskBits;
    maskSamples.colourSpace = QPDFObjectHandle::newName("/DeviceGray");
    image.getDict().replaceKey("/SMask", makeStream(document, width, height, std::move(maskSamples)));
  }
  return image;
}

}  // namespace vd
