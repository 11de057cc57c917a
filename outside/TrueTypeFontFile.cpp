#include "outside/TrueTypeFontFile.h"

namespace vd {
namespace {

// The sum of the big-endian 32-bit words, the last one padded with zeros.
std::uint32_t checksum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < bytes.size(); at += 4) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      word = (word << 8) | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    }
    sum += word;
  }
  return sum;
}

constexpr std::size_t kAdjustmentInHead = 8;

}  // namespace

void AppendFontU16(std::string& out, std::uint32_t value) {
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

void AppendFontU32(std::string& out, std::uint32_t value) {
  AppendFontU16(out, value >> 16);
  AppendFontU16(out, value & 0xFFFF);
}

std::string TrueTypeFontFile(const std::map<std::string, std::string>& tables) {
  const auto count = static_cast<std::uint32_t>(tables.size());
  std::uint32_t power = 1;
  std::uint32_t log = 0;
  while (power * 2 <= count) {
    power *= 2;
    ++log;
  }
  std::string font;
  AppendFontU32(font, 0x00010000);
  AppendFontU16(font, count);
  AppendFontU16(font, power * 16);  // search range
  AppendFontU16(font, log);         // entry selector
  AppendFontU16(font, count * 16 - power * 16);
  std::string body;
  const std::size_t bodyOffset = 12 + 16 * std::size_t{count};
  std::size_t adjustmentAt = 0;
  for (const auto& [tag, original] : tables) {
    std::string table = original;
    const bool head = tag == "head" && table.size() >= kAdjustmentInHead + 4;
    // The head table's checksum, like the whole file's, is taken with the adjustment at 0.
    if (head) table.replace(kAdjustmentInHead, 4, 4, '\0');
    const std::size_t offset = bodyOffset + body.size();
    if (head) adjustmentAt = offset + kAdjustmentInHead;
    font += tag;
    AppendFontU32(font, checksum(table));
    AppendFontU32(font, static_cast<std::uint32_t>(offset));
    AppendFontU32(font, static_cast<std::uint32_t>(table.size()));
    body += table;
    body.append((4 - body.size() % 4) % 4, '\0');
  }
  font += body;
  if (adjustmentAt != 0) {
    std::string adjustment;
    AppendFontU32(adjustment, 0xB1B0AFBAu - checksum(font));
    font.replace(adjustmentAt, 4, adjustment);
  }
  return font;
}

}  // namespace vd
