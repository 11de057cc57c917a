#include "outside/acrobat/FlateEncoder.h"

#include <libdeflate.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vd {
namespace {

using Byte = std::uint8_t;

int paeth(int left, int up, int upLeft) {
  const int estimate = left + up - upLeft;
  const int toLeft = std::abs(estimate - left);
  const int toUp = std::abs(estimate - up);
  const int toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return left;
  return toUp <= toUpLeft ? up : upLeft;
}

// The sum of the filtered bytes read as signed values: the smaller, the better a row
// compresses (the heuristic PNG encoders use).
std::uint64_t cost(const Byte* filtered, std::size_t count) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(filtered[i])));
  return sum;
}

// Each row becomes its filter type byte and the filtered bytes.
std::string filterRows(std::string_view rows, std::size_t rowBytes, std::size_t bpp) {
  const std::size_t height = rowBytes == 0 ? 0 : rows.size() / rowBytes;
  std::string out(height * (rowBytes + 1), '\0');
  const std::vector<Byte> zeroRow(rowBytes, 0);
  std::array<std::vector<Byte>, 5> candidate;
  for (auto& buffer : candidate) buffer.resize(rowBytes);
  for (std::size_t y = 0; y < height; ++y) {
    const auto* current = reinterpret_cast<const Byte*>(rows.data()) + y * rowBytes;
    const Byte* above = y == 0 ? zeroRow.data() : current - rowBytes;
    Byte* none = candidate[0].data();
    Byte* sub = candidate[1].data();
    Byte* up = candidate[2].data();
    Byte* average = candidate[3].data();
    Byte* predicted = candidate[4].data();
    std::memcpy(none, current, rowBytes);
    for (std::size_t i = 0; i < rowBytes; ++i) up[i] = static_cast<Byte>(current[i] - above[i]);
    for (std::size_t i = 0; i < bpp && i < rowBytes; ++i) {
      sub[i] = current[i];
      average[i] = static_cast<Byte>(current[i] - (above[i] >> 1));
      predicted[i] = static_cast<Byte>(current[i] - above[i]);
    }
    for (std::size_t i = bpp; i < rowBytes; ++i) {
      sub[i] = static_cast<Byte>(current[i] - current[i - bpp]);
      average[i] = static_cast<Byte>(current[i] - ((current[i - bpp] + above[i]) >> 1));
      predicted[i] = static_cast<Byte>(current[i] - paeth(current[i - bpp], above[i], above[i - bpp]));
    }
    std::size_t best = 0;
    std::uint64_t bestCost = cost(none, rowBytes);
    for (std::size_t type = 1; type < candidate.size(); ++type) {
      const std::uint64_t typeCost = cost(candidate[type].data(), rowBytes);
      if (typeCost < bestCost) {
        best = type;
        bestCost = typeCost;
      }
    }
    char* target = out.data() + y * (rowBytes + 1);
    target[0] = static_cast<char>(best);
    std::memcpy(target + 1, candidate[best].data(), rowBytes);
  }
  return out;
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

std::string deflate(std::string_view data) {
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(FlateLevelFor(data.size())));
  if (!compressor) throw std::runtime_error("out of memory");
  std::string packed(libdeflate_zlib_compress_bound(compressor.get(), data.size()), '\0');
  const std::size_t size =
      libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), packed.data(), packed.size());
  if (size == 0) throw std::runtime_error("cannot compress the image data");
  packed.resize(size);
  return packed;
}

}  // namespace

int FlateLevelFor(std::size_t bytes) { return bytes <= (std::size_t{1} << 20) ? 10 : 6; }

std::string DeflateRows(std::string_view rows, std::size_t rowBytes, int bytesPerPixel) {
  if (bytesPerPixel <= 0) return deflate(rows);
  return deflate(filterRows(rows, rowBytes, static_cast<std::size_t>(bytesPerPixel)));
}

}  // namespace vd
