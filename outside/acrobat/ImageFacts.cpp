#include "outside/acrobat/ImageFacts.h"

#include <zlib.h>

#include <array>

namespace vd {
namespace {

std::uint32_t byteAt(std::string_view bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

std::uint32_t bigEndian16(std::string_view bytes, std::size_t at) { return byteAt(bytes, at) << 8 | byteAt(bytes, at + 1); }

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
  return bigEndian16(bytes, at) << 16 | bigEndian16(bytes, at + 2);
}

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at) {
  return byteAt(bytes, at) | byteAt(bytes, at + 1) << 8 | byteAt(bytes, at + 2) << 16 | byteAt(bytes, at + 3) << 24;
}

// Reads TIFF-structured numbers in either byte order (TIFF files and EXIF blocks).
class TiffReader {
 public:
  explicit TiffReader(std::string_view bytes) : bytes_(bytes) {
    valid_ = bytes.size() >= 8 && ((bytes[0] == 'I' && bytes[1] == 'I') || (bytes[0] == 'M' && bytes[1] == 'M'));
    little_ = valid_ && bytes[0] == 'I';
    valid_ = valid_ && u16(2) == 42;
  }
  bool valid() const { return valid_; }
  bool has(std::size_t at, std::size_t length) const { return at <= bytes_.size() && length <= bytes_.size() - at; }
  std::uint32_t u16(std::size_t at) const {
    if (!has(at, 2)) return 0;
    return little_ ? (byteAt(bytes_, at) | byteAt(bytes_, at + 1) << 8) : bigEndian16(bytes_, at);
  }
  std::uint32_t u32(std::size_t at) const {
    if (!has(at, 4)) return 0;
    return little_ ? littleEndian32(bytes_, at) : bigEndian32(bytes_, at);
  }

 private:
  std::string_view bytes_;
  bool valid_ = false;
  bool little_ = false;
};

std::optional<Resolution> resolutionFrom(double x, double y, double perInch) {
  if (x <= 0 || y <= 0 || perInch <= 0) return std::nullopt;
  return Resolution{x * perInch, y * perInch};
}

int exifQuarterTurns(std::string_view exif) {
  const TiffReader tiff(exif);
  if (!tiff.valid()) return 0;
  const std::uint32_t directory = tiff.u32(4);
  const std::uint32_t entries = tiff.u16(directory);
  for (std::uint32_t i = 0; i < entries && tiff.has(directory + 2 + i * 12, 12); ++i) {
    const std::size_t entry = directory + 2 + i * 12;
    if (tiff.u16(entry) != 0x0112) continue;
    switch (tiff.u16(entry + 8)) {
      case 3: return 2;
      case 6: return 1;
      case 8: return 3;
      default: return 0;  // mirrored orientations cannot be shown by turning the page
    }
  }
  return 0;
}

}  // namespace

bool LooksLikeJpeg(std::string_view bytes) {
  return bytes.size() >= 3 && byteAt(bytes, 0) == 0xFF && byteAt(bytes, 1) == 0xD8 && byteAt(bytes, 2) == 0xFF;
}

bool LooksLikePng(std::string_view bytes) { return bytes.size() >= 8 && bytes.substr(0, 8) == "\x89PNG\r\n\x1a\n"; }

bool LooksLikeMetafile(std::string_view bytes) {
  if (bytes.size() >= 4 && littleEndian32(bytes, 0) == 0x9AC6CDD7u) return true;  // placeable WMF
  if (bytes.size() >= 44 && littleEndian32(bytes, 0) == 1 && bytes.substr(40, 4) == " EMF") return true;
  // A WMF without the placeable header: type 1 or 2, a nine-word header, version 0x100 or 0x300.
  if (bytes.size() >= 18) {
    const std::uint32_t type = byteAt(bytes, 0) | byteAt(bytes, 1) << 8;
    const std::uint32_t headerWords = byteAt(bytes, 2) | byteAt(bytes, 3) << 8;
    const std::uint32_t version = byteAt(bytes, 4) | byteAt(bytes, 5) << 8;
    if ((type == 1 || type == 2) && headerWords == 9 && (version == 0x100 || version == 0x300)) return true;
  }
  return false;
}

std::optional<JpegFacts> ReadJpegFacts(std::string_view bytes, std::string& problem) {
  if (!LooksLikeJpeg(bytes)) {
    problem = "it is not a JPEG file";
    return std::nullopt;
  }
  JpegFacts facts;
  bool frameSeen = false;
  std::size_t position = 2;
  for (;;) {
    while (position < bytes.size() && byteAt(bytes, position) == 0xFF && position + 1 < bytes.size() &&
           byteAt(bytes, position + 1) == 0xFF) {
      ++position;  // fill bytes
    }
    if (position + 4 > bytes.size() || byteAt(bytes, position) != 0xFF) {
      problem = "the file ends before its image data";
      return std::nullopt;
    }
    const std::uint32_t marker = byteAt(bytes, position + 1);
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      position += 2;
      continue;
    }
    if (marker == 0xD9) {
      problem = "the file ends before its image data";
      return std::nullopt;
    }
    const std::uint32_t length = bigEndian16(bytes, position + 2);
    if (length < 2 || position + 2 + length > bytes.size()) {
      problem = "the file is truncated";
      return std::nullopt;
    }
    const std::string_view segment = bytes.substr(position + 4, length - 2);
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      if (segment.size() < 6) {
        problem = "its frame header is damaged";
        return std::nullopt;
      }
      if (byteAt(segment, 0) != 8) {
        problem = "it has " + std::to_string(byteAt(segment, 0)) + " bits per sample; PDF takes 8";
        return std::nullopt;
      }
      facts.height = static_cast<int>(bigEndian16(segment, 1));
      facts.width = static_cast<int>(bigEndian16(segment, 3));
      facts.components = static_cast<int>(byteAt(segment, 5));
      frameSeen = true;
    } else if ((marker >= 0xC3 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      problem = "it is a lossless, hierarchical or arithmetic-coded JPEG, which PDF cannot carry";
      return std::nullopt;
    } else if (marker == 0xE0 && segment.size() >= 12 && segment.substr(0, 5) == std::string_view("JFIF\0", 5)) {
      const std::uint32_t units = byteAt(segment, 7);
      const double x = bigEndian16(segment, 8);
      const double y = bigEndian16(segment, 10);
      if (units == 1) facts.resolution = resolutionFrom(x, y, 1);
      if (units == 2) facts.resolution = resolutionFrom(x, y, 2.54);
    } else if (marker == 0xE1 && segment.size() > 6 && segment.substr(0, 6) == std::string_view("Exif\0\0", 6)) {
      facts.quarterTurns = exifQuarterTurns(segment.substr(6));
    } else if (marker == 0xEE && segment.size() >= 12 && segment.substr(0, 5) == "Adobe") {
      facts.adobeInvertedCmyk = true;
    } else if (marker == 0xDA) {
      if (!frameSeen || facts.width < 1 || facts.height < 1) {
        problem = "it has no usable frame header";
        return std::nullopt;
      }
      if (facts.components != 1 && facts.components != 3 && facts.components != 4) {
        problem = "it has " + std::to_string(facts.components) + " colour components";
        return std::nullopt;
      }
      // Entropy-coded data never holds FF D9, so the image is complete exactly when the
      // end marker follows its scans (trailing bytes after it are tolerated).
      if (bytes.rfind("\xFF\xD9", std::string_view::npos) == std::string_view::npos ||
          bytes.rfind("\xFF\xD9") < position) {
        problem = "the file is truncated";
        return std::nullopt;
      }
      facts.adobeInvertedCmyk = facts.adobeInvertedCmyk && facts.components == 4;
      return facts;
    }
    position += 2 + length;
  }
}

std::optional<PngFacts> ReadPngFacts(std::string_view bytes, std::string& problem) {
  if (!LooksLikePng(bytes)) {
    problem = "it is not a PNG file";
    return std::nullopt;
  }
  PngFacts facts;
  bool headerSeen = false;
  std::size_t position = 8;
  while (true) {
    if (position + 12 > bytes.size()) {
      problem = "the file is truncated";
      return std::nullopt;
    }
    const std::uint32_t length = bigEndian32(bytes, position);
    if (length > bytes.size() - position - 12) {
      problem = "the file is truncated";
      return std::nullopt;
    }
    const std::string_view type = bytes.substr(position + 4, 4);
    const std::string_view data = bytes.substr(position + 8, length);
    const auto* checked = reinterpret_cast<const Bytef*>(bytes.data() + position + 4);
    if (crc32(0L, checked, static_cast<uInt>(length + 4)) != bigEndian32(bytes, position + 8 + length)) {
      problem = "its " + std::string(type) + " chunk is damaged (checksum mismatch)";
      return std::nullopt;
    }
    if (type == "IHDR" && length >= 13) {
      facts.width = static_cast<int>(bigEndian32(data, 0));
      facts.height = static_cast<int>(bigEndian32(data, 4));
      facts.bitDepth = static_cast<int>(byteAt(data, 8));
      facts.colourType = static_cast<int>(byteAt(data, 9));
      facts.interlaced = byteAt(data, 12) != 0;
      headerSeen = true;
    } else if (type == "PLTE") {
      facts.palette = std::string(data);
    } else if (type == "tRNS") {
      facts.transparency = true;
    } else if (type == "pHYs" && length >= 9 && byteAt(data, 8) == 1) {
      facts.resolution = resolutionFrom(bigEndian32(data, 0), bigEndian32(data, 4), 0.0254);
    } else if (type == "IDAT") {
      facts.compressedData.append(data);
    } else if (type == "IEND") {
      break;
    }
    position += 12 + length;
  }
  if (!headerSeen || facts.width < 1 || facts.height < 1 || facts.compressedData.empty()) {
    problem = "it has no image data";
    return std::nullopt;
  }
  return facts;
}

bool CanEmbedPngData(const PngFacts& png) {
  if (png.interlaced || png.transparency) return false;
  switch (png.colourType) {
    case 0: return png.bitDepth == 1 || png.bitDepth == 2 || png.bitDepth == 4 || png.bitDepth == 8 || png.bitDepth == 16;
    case 2: return png.bitDepth == 8 || png.bitDepth == 16;
    case 3: return (png.bitDepth == 1 || png.bitDepth == 2 || png.bitDepth == 4 || png.bitDepth == 8) &&
                   !png.palette.empty() && png.palette.size() % 3 == 0 && png.palette.size() <= 768;
    default: return false;
  }
}

bool PngDataIsComplete(const PngFacts& png) {
  const std::uint64_t channels = png.colourType == 2 ? 3 : 1;
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(png.width) * channels * png.bitDepth + 7) / 8;
  const std::uint64_t expected = static_cast<std::uint64_t>(png.height) * (rowBytes + 1);
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(png.compressedData.data()));
  stream.avail_in = static_cast<uInt>(png.compressedData.size());
  std::array<Bytef, 65536> scratch{};
  std::uint64_t produced = 0;
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = scratch.data();
    stream.avail_out = static_cast<uInt>(scratch.size());
    status = inflate(&stream, Z_NO_FLUSH);
    produced += scratch.size() - stream.avail_out;
    if (status == Z_BUF_ERROR && stream.avail_in == 0) break;
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END && produced == expected;
}

std::optional<Resolution> ReadBmpResolution(std::string_view bytes) {
  if (bytes.size() < 46 || bytes.substr(0, 2) != "BM" || littleEndian32(bytes, 14) < 40) return std::nullopt;
  const auto x = static_cast<std::int32_t>(littleEndian32(bytes, 38));
  const auto y = static_cast<std::int32_t>(littleEndian32(bytes, 42));
  return resolutionFrom(x, y, 0.0254);
}

}  // namespace vd
