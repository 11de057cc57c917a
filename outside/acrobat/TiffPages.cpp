#include "outside/acrobat/TiffPages.h"

#include <tiffio.h>

#include <QRgba64>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "outside/acrobat/FaxEncoder.h"

namespace vd {
namespace {

// A page larger than this is refused rather than allocated (8 bytes a pixel when deep).
constexpr std::uint64_t kMostPixels = 1ull << 27;
constexpr tmsize_t kLargestAllocation = tmsize_t{1} << 30;

using Source = TiffPages::Source;

Source& sourceOf(thandle_t handle) { return *static_cast<Source*>(handle); }

tmsize_t readBytes(thandle_t handle, void* buffer, tmsize_t size) {
  Source& source = sourceOf(handle);
  if (size < 0 || source.position >= source.bytes.size()) return 0;
  const std::uint64_t left = source.bytes.size() - source.position;
  const std::uint64_t count = std::min<std::uint64_t>(left, static_cast<std::uint64_t>(size));
  std::memcpy(buffer, source.bytes.data() + source.position, static_cast<std::size_t>(count));
  source.position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekTo(thandle_t handle, toff_t offset, int whence) {
  Source& source = sourceOf(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = source.position;
  if (whence == SEEK_END) base = source.bytes.size();
  if (offset > std::numeric_limits<std::uint64_t>::max() - base) return static_cast<toff_t>(-1);
  source.position = base + offset;
  return source.position;
}

int closeNothing(thandle_t) { return 0; }

toff_t sizeOf(thandle_t handle) { return sourceOf(handle).bytes.size(); }

// Mapping hands libtiff the bytes already in memory; nothing to undo.
int mapBytes(thandle_t handle, void** base, toff_t* size) {
  Source& source = sourceOf(handle);
  *base = const_cast<char*>(source.bytes.data());
  *size = source.bytes.size();
  return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

int keepFirstError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
  auto& source = *static_cast<Source*>(user);
  if (source.firstError.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    source.firstError = text;
  }
  return 1;
}

// Warnings (unknown tags, odd but readable values) are no reason to refuse a page.
int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

TiffPages::TiffPages(std::string_view bytes) {
  source_.bytes = bytes;
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) throw std::runtime_error("out of memory");
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLargestAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options, keepFirstError, &source_);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, &source_);
  tiff_ = TIFFClientOpenExt("image", "r", &source_, readBytes, refuseWrite, seekTo, closeNothing, sizeOf, mapBytes,
                            unmapNothing, options);
  TIFFOpenOptionsFree(options);
  if (tiff_ == nullptr) {
    throw std::runtime_error(source_.firstError.empty() ? "it is not a TIFF file" : source_.firstError);
  }
}

TiffPages::~TiffPages() {
  if (tiff_ != nullptr) TIFFClose(tiff_);
}

void TiffPages::fail(const std::string& what) {
  const std::string page = "page " + std::to_string(TIFFCurrentDirectory(tiff_) + 1);
  throw std::runtime_error(page + " " + what + (source_.firstError.empty() ? "" : " (" + source_.firstError + ")"));
}

int TiffPages::pageCount(int mostPages) {
  return static_cast<int>(std::min<tdir_t>(TIFFNumberOfDirectories(tiff_), static_cast<tdir_t>(std::max(mostPages, 1))));
}

void TiffPages::select(int index) {
  source_.firstError.clear();
  if (TIFFCurrentDirectory(tiff_) == static_cast<tdir_t>(index)) return;
  if (TIFFSetDirectory(tiff_, static_cast<tdir_t>(index)) != 1) {
    throw std::runtime_error("page " + std::to_string(index + 1) + " is damaged" +
                             (source_.firstError.empty() ? "" : " (" + source_.firstError + ")"));
  }
}

TiffPage TiffPages::decode(int index) {
  select(index);
  return readPage();
}

std::optional<Resolution> TiffPages::resolutionOf(int index) {
  select(index);
  return resolution();
}

bool TiffPages::isDeep(int index) {
  select(index);
  std::uint16_t bits = 1;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
  return bits > 8;
}

std::optional<FaxPage> TiffPages::faxPage(int index) {
  select(index);
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t bits = 1;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t photometric = 0;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_FILLORDER, &fillOrder);
  const bool ccitt = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                     compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
  if (!ccitt || bits != 1 || samplesPerPixel != 1 || orientation != ORIENTATION_TOPLEFT || TIFFIsTiled(tiff_) ||
      TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
      (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK) ||
      TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height) != 1 ||
      width == 0 || height == 0 || width > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      height > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      static_cast<std::uint64_t>(width) * height > kMostPixels) {
    return std::nullopt;
  }
  FaxPage page;
  page.width = static_cast<int>(width);
  page.height = static_cast<int>(height);
  // The coders make black runs one-bits; a page that calls zero black shows them white.
  page.blackIs1 = photometric == PHOTOMETRIC_MINISBLACK;
  page.resolution = resolution();

  std::uint32_t options = 0;
  TIFFGetField(tiff_, TIFFTAG_GROUP4OPTIONS, &options);
  if (compression == COMPRESSION_CCITTFAX4 && TIFFNumberOfStrips(tiff_) == 1 && (options & GROUP4OPT_UNCOMPRESSED) == 0) {
    const std::uint64_t size = TIFFRawStripSize64(tiff_, 0);
    if (size == 0 || size == static_cast<std::uint64_t>(-1) || size > source_.bytes.size()) fail("has a damaged strip");
    page.data.resize(static_cast<std::size_t>(size));
    if (TIFFReadRawStrip(tiff_, 0, page.data.data(), static_cast<tmsize_t>(size)) != static_cast<tmsize_t>(size)) {
      fail("has a damaged strip");
    }
    if (fillOrder == FILLORDER_LSB2MSB) {
      TIFFReverseBits(reinterpret_cast<std::uint8_t*>(page.data.data()), static_cast<tmsize_t>(page.data.size()));
    }
    page.asStored = true;
    return page;
  }
  // Strips each start their own code stream, and Group 3 codes every row on its own:
  // neither can simply be joined, so the rows are decoded and coded as one Group 4 strip.
  const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
  if (TIFFScanlineSize64(tiff_) != rowBytes) fail("has a damaged row layout");
  std::string rows(rowBytes * height, '\0');
  for (std::uint32_t row = 0; row < height; ++row) {
    if (TIFFReadScanline(tiff_, rows.data() + row * rowBytes, row, 0) < 0) fail("cannot be decoded");
  }
  page.data = EncodeGroup4(rows, width, height, photometric);
  return page;
}

std::optional<CmykPage> TiffPages::cmykPage(int index) {
  select(index);
  std::uint16_t photometric = 0;
  std::uint16_t inkSet = INKSET_CMYK;
  std::uint16_t bits = 1;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_INKSET, &inkSet);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  if (TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric) != 1 || photometric != PHOTOMETRIC_SEPARATED ||
      inkSet != INKSET_CMYK || (bits != 8 && bits != 16) || sampleFormat != SAMPLEFORMAT_UINT || samplesPerPixel < 4 ||
      TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height) != 1 ||
      width == 0 || height == 0 || static_cast<std::uint64_t>(width) * height > kMostPixels) {
    return std::nullopt;
  }
  std::uint16_t extraCount = 0;
  std::uint16_t* extraKinds = nullptr;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
  const std::uint16_t firstExtra = samplesPerPixel > 4 && extraCount > 0 && extraKinds != nullptr ? extraKinds[0] : 0;
  // PDF has no premultiplied colour: such a page goes the decoded way.
  if (firstExtra == EXTRASAMPLE_ASSOCALPHA) return std::nullopt;
  const bool alpha = firstExtra == EXTRASAMPLE_UNASSALPHA;

  const int sampleBytes = bits / 8;
  if (static_cast<std::uint64_t>(width) * height * samplesPerPixel * sampleBytes >
      static_cast<std::uint64_t>(kLargestAllocation)) {
    fail("is too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels of " +
         std::to_string(samplesPerPixel) + " samples)");
  }
  const std::string all = readInterleaved(width, height, samplesPerPixel, sampleBytes);
  CmykPage page;
  page.width = static_cast<int>(width);
  page.height = static_cast<int>(height);
  page.bits = bits;
  page.resolution = resolution();
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  const std::size_t pixelBytes = static_cast<std::size_t>(samplesPerPixel) * sampleBytes;
  const std::size_t inkBytes = 4u * sampleBytes;
  page.samples.resize(pixels * inkBytes);
  if (alpha) page.alpha.resize(pixels * sampleBytes);
  // Samples come from libtiff in the machine's byte order; PDF reads 16 bits big-endian.
  const auto copySample = [sampleBytes](char* to, const char* from) {
    if (sampleBytes == 1) {
      *to = *from;
      return;
    }
    std::uint16_t value = 0;
    std::memcpy(&value, from, 2);
    to[0] = static_cast<char>(value >> 8);
    to[1] = static_cast<char>(value & 0xFF);
  };
  for (std::size_t p = 0; p < pixels; ++p) {
    const char* pixel = all.data() + p * pixelBytes;
    for (int ink = 0; ink < 4; ++ink) copySample(&page.samples[p * inkBytes + ink * sampleBytes], pixel + ink * sampleBytes);
    if (alpha) copySample(&page.alpha[p * sampleBytes], pixel + 4 * sampleBytes);
  }
  return page;
}

// Every sample of the page, pixels interleaved, rows top to bottom, whatever the file's
// layout: strips or tiles, samples interleaved or in planes of their own.
std::string TiffPages::readInterleaved(std::uint32_t width, std::uint32_t height, int samplesPerPixel, int sampleBytes) {
  std::uint16_t planes = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_PLANARCONFIG, &planes);
  const bool separate = planes == PLANARCONFIG_SEPARATE;
  const std::size_t pixelBytes = static_cast<std::size_t>(samplesPerPixel) * sampleBytes;
  // What one pixel takes in one plane: all its samples, or one sample when each has a plane.
  const std::size_t planePixelBytes = separate ? static_cast<std::size_t>(sampleBytes) : pixelBytes;
  const int planeCount = separate ? samplesPerPixel : 1;
  std::string all(pixelBytes * width * height, '\0');
  // One plane's pixels of a run of a row into place.
  const auto place = [&](const char* from, std::uint32_t x, std::uint32_t y, std::uint32_t count, int plane) {
    char* to = all.data() + (static_cast<std::size_t>(y) * width + x) * pixelBytes;
    if (!separate) {
      std::memcpy(to, from, count * pixelBytes);
      return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      std::memcpy(to + i * pixelBytes + static_cast<std::size_t>(plane) * sampleBytes, from + i * planePixelBytes,
                  static_cast<std::size_t>(sampleBytes));
    }
  };
  if (TIFFIsTiled(tiff_)) {
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &tileHeight);
    const tmsize_t tileBytes = TIFFTileSize(tiff_);
    if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 ||
        static_cast<std::uint64_t>(tileBytes) != static_cast<std::uint64_t>(tileWidth) * tileHeight * planePixelBytes) {
      fail("has a damaged tile layout");
    }
    std::string tile(static_cast<std::size_t>(tileBytes), '\0');
    for (int plane = 0; plane < planeCount; ++plane) {
      for (std::uint32_t top = 0; top < height; top += tileHeight) {
        for (std::uint32_t left = 0; left < width; left += tileWidth) {
          if (TIFFReadTile(tiff_, tile.data(), left, top, 0, static_cast<std::uint16_t>(plane)) < 0) fail("cannot be decoded");
          const std::uint32_t rows = std::min(tileHeight, height - top);
          const std::uint32_t columns = std::min(tileWidth, width - left);
          for (std::uint32_t row = 0; row < rows; ++row) {
            place(tile.data() + static_cast<std::size_t>(row) * tileWidth * planePixelBytes, left, top + row, columns, plane);
          }
        }
      }
    }
    return all;
  }
  if (TIFFScanlineSize64(tiff_) != planePixelBytes * width) fail("has a damaged row layout");
  std::string row(planePixelBytes * width, '\0');
  for (int plane = 0; plane < planeCount; ++plane) {
    for (std::uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tiff_, row.data(), y, static_cast<std::uint16_t>(plane)) < 0) fail("cannot be decoded");
      place(row.data(), 0, y, width, plane);
    }
  }
  return all;
}

std::optional<Resolution> TiffPages::resolution() {
  float x = 0;
  float y = 0;
  std::uint16_t unit = RESUNIT_INCH;
  if (TIFFGetField(tiff_, TIFFTAG_XRESOLUTION, &x) != 1 || TIFFGetField(tiff_, TIFFTAG_YRESOLUTION, &y) != 1) {
    return std::nullopt;
  }
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perInch = unit == RESUNIT_INCH ? 1 : unit == RESUNIT_CENTIMETER ? 2.54 : 0;
  // Written so that not-a-number fails as well.
  if (!(x > 0 && x < 1e6 && y > 0 && y < 1e6) || perInch == 0) return std::nullopt;
  return Resolution{x * perInch, y * perInch};
}

TiffPage TiffPages::readPage() {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height);
  if (width == 0 || height == 0) fail("has no size");
  if (width > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      height > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      static_cast<std::uint64_t>(width) * height > kMostPixels) {
    fail("is too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)");
  }
  std::uint16_t bits = 1;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  std::uint16_t planes = PLANARCONFIG_CONTIG;
  std::uint16_t photometric = 0;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_PLANARCONFIG, &planes);
  const bool hasPhotometric = TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric) == 1;

  const bool grey = hasPhotometric && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
  const bool rgb = hasPhotometric && photometric == PHOTOMETRIC_RGB;
  const int colours = rgb ? 3 : 1;
  if (bits == 16 && sampleFormat == SAMPLEFORMAT_UINT && planes == PLANARCONFIG_CONTIG && (grey || rgb) &&
      samplesPerPixel >= colours) {
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tiff_, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    const bool alpha = samplesPerPixel > colours && extraCount > 0 && extraKinds != nullptr &&
                       (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || extraKinds[0] == EXTRASAMPLE_UNASSALPHA);
    const bool premultiplied = alpha && extraKinds[0] == EXTRASAMPLE_ASSOCALPHA;
    return {readDeepPage(colours, alpha, premultiplied, photometric == PHOTOMETRIC_MINISWHITE), resolution()};
  }
  return {readAsRgba(), resolution()};
}

// Deep samples as stored, in rows top to bottom, so no precision is lost on the way.
QImage TiffPages::readDeepPage(int colours, bool alpha, bool premultiplied, bool inverted) {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t samplesPerPixel = 1;
  TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  const std::size_t rowSamples = static_cast<std::size_t>(width) * samplesPerPixel;
  const std::string bytes = readInterleaved(width, height, samplesPerPixel, 2);
  std::vector<std::uint16_t> samples(rowSamples * height);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);

  const QImage::Format format = !alpha                ? (colours == 1 ? QImage::Format_Grayscale16 : QImage::Format_RGBX64)
                                : premultiplied ? QImage::Format_RGBA64_Premultiplied
                                                : QImage::Format_RGBA64;
  QImage picture(static_cast<int>(width), static_cast<int>(height), format);
  if (picture.isNull()) fail("is too large to hold in memory");
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint16_t* in = &samples[y * rowSamples];
    if (format == QImage::Format_Grayscale16) {
      auto* out = reinterpret_cast<std::uint16_t*>(picture.scanLine(static_cast<int>(y)));
      for (std::uint32_t x = 0; x < width; ++x) out[x] = inverted ? static_cast<std::uint16_t>(65535 - in[x]) : in[x];
      continue;
    }
    auto* out = reinterpret_cast<QRgba64*>(picture.scanLine(static_cast<int>(y)));
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint16_t* pixel = in + static_cast<std::size_t>(x) * samplesPerPixel;
      std::uint16_t red = pixel[0];
      std::uint16_t green = colours == 3 ? pixel[1] : pixel[0];
      std::uint16_t blue = colours == 3 ? pixel[2] : pixel[0];
      if (inverted) {
        red = green = blue = static_cast<std::uint16_t>(65535 - red);
      }
      out[x] = QRgba64::fromRgba64(red, green, blue, alpha ? pixel[colours] : 65535);
    }
  }
  return picture;
}

// libtiff's own conversion: any photometric, depth, compression and plane layout it
// understands, as 8-bit RGBA with alpha premultiplied, turned upright from the orientation tag.
QImage TiffPages::readAsRgba() {
  char problem[1024] = {};
  if (TIFFRGBAImageOK(tiff_, problem) != 1) fail(std::string("uses a layout that cannot be read: ") + problem);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
  if (TIFFReadRGBAImageOriented(tiff_, width, height, raster.data(), ORIENTATION_TOPLEFT, 1) != 1) {
    fail("cannot be decoded");
  }
  QImage picture(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
  if (picture.isNull()) fail("is too large to hold in memory");
  for (std::uint32_t y = 0; y < height; ++y) {
    auto* out = reinterpret_cast<QRgb*>(picture.scanLine(static_cast<int>(y)));
    const std::uint32_t* in = &raster[static_cast<std::size_t>(y) * width];
    for (std::uint32_t x = 0; x < width; ++x) {
      out[x] = qRgba(static_cast<int>(TIFFGetR(in[x])), static_cast<int>(TIFFGetG(in[x])),
                     static_cast<int>(TIFFGetB(in[x])), static_cast<int>(TIFFGetA(in[x])));
    }
  }
  return picture;
}

}  // namespace vd
