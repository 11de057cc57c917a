#include "outside/acrobat/RasterImages.h"

#include <QImage>
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <qpdf/QPDF.hh>

#include "outside/acrobat/FlateEncoder.h"

namespace vd {
namespace {

// The image data and how to read it.
struct Samples {
  std::string rows;
  std::size_t rowBytes = 0;
  int bitsPerComponent = 8;
  int colours = 1;
  bool continuousTone = false;  // filtered as PNG rows
  QPDFObjectHandle colourSpace = QPDFObjectHandle::newName("/DeviceGray");
  QPDFObjectHandle colourKey = QPDFObjectHandle::newNull();  // /Mask: palette entries shown clear
};

QPDFObjectHandle makeStream(QPDF& document, int width, int height, const Samples& samples) {
  const int bytesPerPixel = samples.continuousTone ? samples.colours * samples.bitsPerComponent / 8 : 0;
  QPDFObjectHandle parameters = QPDFObjectHandle::newNull();
  if (bytesPerPixel > 0) {
    parameters = QPDFObjectHandle::newDictionary();
    parameters.replaceKey("/Predictor", QPDFObjectHandle::newInteger(15));
    parameters.replaceKey("/Colors", QPDFObjectHandle::newInteger(samples.colours));
    parameters.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(samples.bitsPerComponent));
    parameters.replaceKey("/Columns", QPDFObjectHandle::newInteger(width));
  }
  QPDFObjectHandle image = QPDFObjectHandle::newStream(&document);
  image.replaceStreamData(DeflateRows(samples.rows, samples.rowBytes, bytesPerPixel),
                          QPDFObjectHandle::newName("/FlateDecode"), parameters);
  QPDFObjectHandle dictionary = image.getDict();
  dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(width));
  dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(height));
  dictionary.replaceKey("/ColorSpace", samples.colourSpace);
  dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(samples.bitsPerComponent));
  if (QPDFObjectHandle key = samples.colourKey; !key.isNull()) dictionary.replaceKey("/Mask", key);
  return image;
}

// The rows of an 8-bit-or-wider picture, without the padding Qt adds to each line.
std::string rowsOf(const QImage& picture, std::size_t rowBytes) {
  std::string rows(rowBytes * static_cast<std::size_t>(picture.height()), '\0');
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(rows.data() + static_cast<std::size_t>(y) * rowBytes, picture.constScanLine(y), rowBytes);
  }
  return rows;
}

int bitsForColours(std::size_t colours) { return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8; }

// One 8-bit index a pixel, rows packed to bits each.
std::string packIndices(const std::vector<std::uint8_t>& values, int width, int height, int bits) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 7) / 8;
  std::string packed(rowBytes * static_cast<std::size_t>(height), '\0');
  const int perByte = 8 / bits;
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<unsigned char*>(packed.data()) + static_cast<std::size_t>(y) * rowBytes;
    const std::uint8_t* in = values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = 0; x < width; ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      row[x / perByte] = static_cast<unsigned char>(row[x / perByte] | in[x] << shift);
    }
  }
  return packed;
}

QPDFObjectHandle indexedSpace(const std::string& palette) {
  return QPDFObjectHandle::newArray({QPDFObjectHandle::newName("/Indexed"), QPDFObjectHandle::newName("/DeviceRGB"),
                                     QPDFObjectHandle::newInteger(static_cast<long long>(palette.size() / 3) - 1),
                                     QPDFObjectHandle::newString(palette)});
}

std::string paletteOf(const QList<QRgb>& table) {
  std::string palette;
  palette.reserve(static_cast<std::size_t>(table.size()) * 3);
  for (QRgb colour : table) {
    palette.push_back(static_cast<char>(qRed(colour)));
    palette.push_back(static_cast<char>(qGreen(colour)));
    palette.push_back(static_cast<char>(qBlue(colour)));
  }
  return palette;
}

// Up to 256 distinct colours become a palette; more make it a true-colour picture.
bool makePalette(const QImage& rgb, Samples& samples) {
  std::unordered_map<QRgb, std::uint8_t> indexOf;
  std::string palette;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(rgb.height()));
  std::size_t at = 0;
  // Drawings repeat a colour along a row: the last colour found answers most lookups.
  QRgb lastColour = 0;
  std::uint8_t lastIndex = 0;
  bool haveLast = false;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) {
      const QRgb colour = line[x] & 0xFFFFFFu;
      if (!haveLast || colour != lastColour) {
        auto found = indexOf.find(colour);
        if (found == indexOf.end()) {
          if (indexOf.size() == 256) return false;
          found = indexOf.emplace(colour, static_cast<std::uint8_t>(indexOf.size())).first;
          palette.push_back(static_cast<char>(qRed(colour)));
          palette.push_back(static_cast<char>(qGreen(colour)));
          palette.push_back(static_cast<char>(qBlue(colour)));
        }
        lastColour = colour;
        lastIndex = found->second;
        haveLast = true;
      }
      indices[at++] = lastIndex;
    }
  }
  const int bits = bitsForColours(indexOf.size());
  bool allGrey = true;
  for (std::size_t i = 0; i + 2 < palette.size(); i += 3) {
    allGrey = allGrey && palette[i] == palette[i + 1] && palette[i] == palette[i + 2];
  }
  if (allGrey && bits == 8) {
    // A full range of greys is as small as grey samples, and needs no palette.
    std::string greys(indices.size(), '\0');
    for (std::size_t i = 0; i < indices.size(); ++i) greys[i] = palette[indices[i] * 3u];
    samples.rows = std::move(greys);
    samples.rowBytes = static_cast<std::size_t>(rgb.width());
    samples.continuousTone = true;
    samples.colourSpace = QPDFObjectHandle::newName("/DeviceGray");
    return true;
  }
  samples.rows = packIndices(indices, rgb.width(), rgb.height(), bits);
  samples.rowBytes = (static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(bits) + 7) / 8;
  samples.bitsPerComponent = bits;
  samples.colourSpace = indexedSpace(palette);
  return true;
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

bool isPalette(const QImage& picture) {
  const QImage::Format format = picture.format();
  return (format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8) &&
         !picture.colorTable().isEmpty() && picture.colorTable().size() <= 256;
}

void putBigEndian16(char* out, unsigned value) {
  out[0] = static_cast<char>(value >> 8);
  out[1] = static_cast<char>(value & 0xFF);
}

// Palette pictures (bilevel faxes, GIF, paletted BMP and TIFF) keep their palette and
// their rows. Clear palette entries become a colour-key mask when they are one run of
// fully clear entries, a soft mask otherwise; mask receives the soft mask's rows.
void paletteSamples(const QImage& picture, Samples& samples, std::string& mask) {
  const QList<QRgb> table = picture.colorTable();
  const int width = picture.width();
  const int height = picture.height();
  samples.colourSpace = indexedSpace(paletteOf(table));
  if (picture.format() != QImage::Format_Indexed8) {
    const QImage mono = picture.format() == QImage::Format_Mono ? picture : picture.convertToFormat(QImage::Format_Mono);
    samples.bitsPerComponent = 1;
    samples.rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
    samples.rows = rowsOf(mono, samples.rowBytes);
  } else if (const int bits = bitsForColours(static_cast<std::size_t>(table.size())); bits < 8) {
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      std::memcpy(indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), picture.constScanLine(y),
                  static_cast<std::size_t>(width));
    }
    samples.bitsPerComponent = bits;
    samples.rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 7) / 8;
    samples.rows = packIndices(indices, width, height, bits);
  } else {
    samples.rowBytes = static_cast<std::size_t>(width);
    samples.rows = rowsOf(picture, samples.rowBytes);
  }

  std::optional<int> firstClear;
  int lastClear = -1;
  bool oneRun = true;
  bool partial = false;
  for (int i = 0; i < table.size(); ++i) {
    const int alpha = qAlpha(table[i]);
    partial = partial || (alpha != 0 && alpha != 255);
    if (alpha != 0) continue;
    if (firstClear && lastClear != i - 1) oneRun = false;
    if (!firstClear) firstClear = i;
    lastClear = i;
  }
  if (!firstClear && !partial) return;
  if (firstClear && oneRun && !partial) {
    samples.colourKey = QPDFObjectHandle::newArray(
        {QPDFObjectHandle::newInteger(*firstClear), QPDFObjectHandle::newInteger(lastClear)});
    return;
  }
  const QImage indexed = picture.convertToFormat(QImage::Format_Indexed8);
  mask.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const uchar* line = indexed.constScanLine(y);
    char* out = mask.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = 0; x < width; ++x) out[x] = static_cast<char>(qAlpha(table[line[x]]));
  }
}

void deepSamples(const QImage& picture, Samples& samples, std::string& mask) {
  const int width = picture.width();
  const int height = picture.height();
  const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  samples.bitsPerComponent = 16;
  samples.continuousTone = true;
  if (picture.format() == QImage::Format_Grayscale16) {
    samples.rowBytes = static_cast<std::size_t>(width) * 2;
    samples.rows.resize(pixels * 2);
    for (int y = 0; y < height; ++y) {
      const auto* line = reinterpret_cast<const quint16*>(picture.constScanLine(y));
      char* out = samples.rows.data() + static_cast<std::size_t>(y) * samples.rowBytes;
      for (int x = 0; x < width; ++x) putBigEndian16(out + x * 2, line[x]);
    }
    return;
  }
  const bool alpha = picture.hasAlphaChannel();
  const QImage deep = picture.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
  samples.colours = 3;
  samples.colourSpace = QPDFObjectHandle::newName("/DeviceRGB");
  samples.rowBytes = static_cast<std::size_t>(width) * 6;
  samples.rows.resize(pixels * 6);
  if (alpha) mask.resize(pixels * 2);
  bool opaque = true;
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgba64*>(deep.constScanLine(y));
    char* out = samples.rows.data() + static_cast<std::size_t>(y) * samples.rowBytes;
    for (int x = 0; x < width; ++x) {
      putBigEndian16(out + x * 6, line[x].red());
      putBigEndian16(out + x * 6 + 2, line[x].green());
      putBigEndian16(out + x * 6 + 4, line[x].blue());
      if (!alpha) continue;
      putBigEndian16(mask.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 2,
                     line[x].alpha());
      opaque = opaque && line[x].alpha() == 65535;
    }
  }
  if (opaque) mask.clear();
}

// True colour, 8 bits: Qt's own conversions split colour from alpha; a picture of at most
// 256 colours becomes a palette.
void colourSamples(const QImage& picture, Samples& samples, std::string& mask) {
  const int width = picture.width();
  if (picture.hasAlphaChannel()) {
    const QImage alpha = picture.convertToFormat(QImage::Format_Alpha8);
    mask = rowsOf(alpha, static_cast<std::size_t>(width));
    if (std::all_of(mask.begin(), mask.end(), [](char value) { return static_cast<unsigned char>(value) == 255; })) {
      mask.clear();
    }
  }
  const QImage::Format format = picture.format();
  const QImage argb = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
                          ? picture
                          : picture.convertToFormat(QImage::Format_ARGB32);
  if (makePalette(argb, samples)) return;
  const QImage rgb = argb.convertToFormat(QImage::Format_RGB888);
  samples.colours = 3;
  samples.continuousTone = true;
  samples.colourSpace = QPDFObjectHandle::newName("/DeviceRGB");
  samples.rowBytes = static_cast<std::size_t>(width) * 3;
  samples.rows = rowsOf(rgb, samples.rowBytes);
}

}  // namespace

QPDFObjectHandle MakeCmykImageObject(QPDF& document, int width, int height, int bits, const std::string& samples,
                                     const std::string& alpha) {
  Samples cmyk;
  cmyk.rows = samples;
  cmyk.bitsPerComponent = bits;
  cmyk.colours = 4;
  cmyk.rowBytes = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(bits / 8);
  cmyk.continuousTone = true;
  cmyk.colourSpace = QPDFObjectHandle::newName("/DeviceCMYK");
  QPDFObjectHandle image = makeStream(document, width, height, cmyk);
  if (!alpha.empty()) {
    Samples mask;
    mask.rows = alpha;
    mask.bitsPerComponent = bits;
    mask.rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(bits / 8);
    mask.continuousTone = true;
    image.getDict().replaceKey("/SMask", makeStream(document, width, height, mask));
  }
  return image;
}

QPDFObjectHandle MakeImageObject(QPDF& document, const QImage& picture) {
  const int width = picture.width();
  const int height = picture.height();
  Samples samples;
  std::string mask;
  int maskBits = 8;

  if (isDeep(picture)) {
    deepSamples(picture, samples, mask);
    maskBits = 16;
  } else if (isPalette(picture)) {
    paletteSamples(picture, samples, mask);
  } else if (picture.format() == QImage::Format_Grayscale8) {
    samples.continuousTone = true;
    samples.rowBytes = static_cast<std::size_t>(width);
    samples.rows = rowsOf(picture, samples.rowBytes);
  } else {
    colourSamples(picture, samples, mask);
  }

  QPDFObjectHandle image = makeStream(document, width, height, samples);
  if (!mask.empty()) {
    Samples maskSamples;
    maskSamples.rows = std::move(mask);
    maskSamples.bitsPerComponent = maskBits;
    maskSamples.rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(maskBits / 8);
    maskSamples.continuousTone = true;
    image.getDict().replaceKey("/SMask", makeStream(document, width, height, maskSamples));
  }
  return image;
}

}  // namespace vd
