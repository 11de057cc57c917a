#include "bench/images/GifWriter.h"

#include <QImage>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace vd::bench {
namespace {

// Variable-width LZW codes, least significant bit first, in sub-blocks of 255 bytes.
class CodeStream {
 public:
  void put(unsigned code, int width) {
    bits_ |= static_cast<unsigned long long>(code) << count_;
    count_ += width;
    while (count_ >= 8) {
      bytes_.push_back(static_cast<char>(bits_ & 0xFF));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  std::string finish() {
    if (count_ > 0) bytes_.push_back(static_cast<char>(bits_ & 0xFF));
    std::string blocks;
    for (std::size_t at = 0; at < bytes_.size(); at += 255) {
      const std::size_t length = std::min<std::size_t>(255, bytes_.size() - at);
      blocks.push_back(static_cast<char>(length));
      blocks.append(bytes_, at, length);
    }
    blocks.push_back('\0');
    return blocks;
  }

 private:
  std::string bytes_;
  unsigned long long bits_ = 0;
  int count_ = 0;
};

std::string compress(const QImage& picture) {
  constexpr unsigned kClear = 256;
  constexpr unsigned kEnd = 257;
  constexpr unsigned kMostCodes = 4096;
  // next[code * 256 + byte]: the code for that string extended by byte, 0 for none.
  std::vector<std::uint16_t> next(kMostCodes * 256, 0);
  CodeStream out;
  unsigned nextCode = kEnd + 1;
  int width = 9;
  out.put(kClear, width);
  int current = -1;
  for (int y = 0; y < picture.height(); ++y) {
    const uchar* line = picture.constScanLine(y);
    for (int x = 0; x < picture.width(); ++x) {
      const unsigned byte = line[x];
      if (current < 0) {
        current = static_cast<int>(byte);
        continue;
      }
      std::uint16_t& slot = next[static_cast<std::size_t>(current) * 256 + byte];
      if (slot != 0) {
        current = slot;
        continue;
      }
      out.put(static_cast<unsigned>(current), width);
      if (nextCode < kMostCodes) {
        slot = static_cast<std::uint16_t>(nextCode++);
        if (nextCode > (1u << width) && width < 12) ++width;
      } else {
        out.put(kClear, width);
        std::fill(next.begin(), next.end(), 0);
        nextCode = kEnd + 1;
        width = 9;
      }
      current = static_cast<int>(byte);
    }
  }
  if (current >= 0) out.put(static_cast<unsigned>(current), width);
  out.put(kEnd, width);
  return out.finish();
}

void appendLittle16(std::string& out, int value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

void WriteGif(const QImage& picture, const std::string& path) {
  if (picture.format() != QImage::Format_Indexed8 || picture.colorCount() > 256) {
    throw std::runtime_error("a GIF needs a picture of at most 256 colours");
  }
  std::string file = "GIF89a";
  appendLittle16(file, picture.width());
  appendLittle16(file, picture.height());
  file.push_back(static_cast<char>(0xF7));  // global table of 256 entries, 8 bits of colour
  file.push_back('\0');
  file.push_back('\0');
  for (int i = 0; i < 256; ++i) {
    const QRgb colour = i < picture.colorCount() ? picture.color(i) : 0;
    file.push_back(static_cast<char>(qRed(colour)));
    file.push_back(static_cast<char>(qGreen(colour)));
    file.push_back(static_cast<char>(qBlue(colour)));
  }
  file.push_back(',');
  appendLittle16(file, 0);
  appendLittle16(file, 0);
  appendLittle16(file, picture.width());
  appendLittle16(file, picture.height());
  file.push_back('\0');
  file.push_back('\x08');  // the minimum code size
  file += compress(picture);
  file.push_back(';');
  std::ofstream out(path, std::ios::binary);
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace vd::bench
