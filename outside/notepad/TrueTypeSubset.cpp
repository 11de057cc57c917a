#include "outside/notepad/TrueTypeSubset.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "outside/TrueTypeFontFile.h"

namespace vd {
namespace {

// Reads big-endian numbers from a table, refusing any read past its end.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  std::uint16_t u16(std::size_t at) const {
    need(at, 2);
    return static_cast<std::uint16_t>((byte(at) << 8) | byte(at + 1));
  }
  std::int16_t s16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
  std::uint32_t u32(std::size_t at) const { return (std::uint32_t{u16(at)} << 16) | u16(at + 2); }
  std::size_t size() const { return bytes_.size(); }

 private:
  unsigned byte(std::size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
  void need(std::size_t at, std::size_t length) const {
    if (at + length > bytes_.size()) throw std::out_of_range("font table too short");
  }
  const std::string& bytes_;
};

void set16(std::string& table, std::size_t at, unsigned value) {
  if (at + 2 > table.size()) throw std::out_of_range("font table too short");
  table[at] = static_cast<char>((value >> 8) & 0xFF);
  table[at + 1] = static_cast<char>(value & 0xFF);
}

// Flags of a composite glyph's component records.
constexpr unsigned kArgsAreWords = 0x0001;
constexpr unsigned kHaveScale = 0x0008;
constexpr unsigned kMoreComponents = 0x0020;
constexpr unsigned kHaveXYScale = 0x0040;
constexpr unsigned kHaveTwoByTwo = 0x0080;

class GlyphTable {
 public:
  GlyphTable(const std::string& glyf, const std::string& loca, bool longOffsets, std::size_t glyphCount)
      : glyf_(glyf), loca_(loca), longOffsets_(longOffsets), glyphCount_(glyphCount) {}

  // The glyph's outline bytes; "" for a glyph without an outline (a space).
  std::string outline(std::uint16_t glyph) const {
    if (glyph >= glyphCount_) return {};
    const Reader loca(loca_);
    const std::size_t begin = longOffsets_ ? loca.u32(4u * glyph) : 2u * loca.u16(2u * glyph);
    const std::size_t end = longOffsets_ ? loca.u32(4u * glyph + 4) : 2u * loca.u16(2u * glyph + 2);
    if (end <= begin || end > glyf_.size()) return {};
    return glyf_.substr(begin, end - begin);
  }

  // Calls visit with the offset of each component's glyph number in a composite outline.
  template <typename Visit>
  static void forEachComponent(const std::string& outline, Visit visit) {
    const Reader glyph(outline);
    if (outline.size() < 10 || glyph.s16(0) >= 0) return;
    std::size_t at = 10;
    for (;;) {
      const unsigned flags = glyph.u16(at);
      visit(at + 2, glyph.u16(at + 2));
      at += 4 + ((flags & kArgsAreWords) ? 4 : 2);
      if (flags & kHaveScale) at += 2;
      else if (flags & kHaveXYScale) at += 4;
      else if (flags & kHaveTwoByTwo) at += 8;
      if (!(flags & kMoreComponents)) return;
    }
  }

 private:
  const std::string& glyf_;
  const std::string& loca_;
  bool longOffsets_;
  std::size_t glyphCount_;
};

// A cmap with the symbolic subtables: (3,0) format 4 over 0xF000..0xF0FF and (1,0)
// format 0, both mapping code c to the new number of glyphs[c].
std::string symbolicCmap(const std::vector<std::uint16_t>& newNumbers) {
  std::string windows;
  // One segment 0xF000..0xF0FF through the glyph array, and the closing 0xFFFF segment.
  const unsigned segments = 2;
  AppendFontU16(windows, 4);
  AppendFontU16(windows, 16 + 8 * segments + 2 * 256);
  AppendFontU16(windows, 0);
  AppendFontU16(windows, 2 * segments);
  AppendFontU16(windows, 4);  // searchRange
  AppendFontU16(windows, 1);  // entrySelector
  AppendFontU16(windows, 0);  // rangeShift
  AppendFontU16(windows, 0xF0FF);
  AppendFontU16(windows, 0xFFFF);
  AppendFontU16(windows, 0);  // reservedPad
  AppendFontU16(windows, 0xF000);
  AppendFontU16(windows, 0xFFFF);
  AppendFontU16(windows, 0);  // idDelta
  AppendFontU16(windows, 1);
  AppendFontU16(windows, 4);  // idRangeOffset of the first segment: just past the second
  AppendFontU16(windows, 0);
  for (unsigned code = 0; code < 256; ++code) AppendFontU16(windows, code < newNumbers.size() ? newNumbers[code] : 0);

  std::string mac;
  AppendFontU16(mac, 0);
  AppendFontU16(mac, 262);
  AppendFontU16(mac, 0);
  for (unsigned code = 0; code < 256; ++code) {
    const unsigned number = code < newNumbers.size() ? newNumbers[code] : 0;
    mac += static_cast<char>(number < 256 ? number : 0);
  }

  std::string cmap;
  AppendFontU16(cmap, 0);
  AppendFontU16(cmap, 2);
  AppendFontU16(cmap, 1);
  AppendFontU16(cmap, 0);
  AppendFontU32(cmap, 4 + 2 * 8);
  AppendFontU16(cmap, 3);
  AppendFontU16(cmap, 0);
  AppendFontU32(cmap, static_cast<std::uint32_t>(4 + 2 * 8 + mac.size()));
  return cmap + mac + windows;
}

// A post table of format 3: no glyph names.
std::string namelessPost(const std::string& original) {
  std::string post = original.size() >= 32 ? original.substr(0, 32) : std::string(32, '\0');
  post[0] = 0;
  post[1] = 3;
  post[2] = 0;
  post[3] = 0;
  return post;
}

}  // namespace

std::optional<std::string> TrueTypeSubset::make(const TableReader& tables, const std::vector<std::uint16_t>& glyphs) {
  try {
    std::string head = tables("head");
    std::string hhea = tables("hhea");
    std::string maxp = tables("maxp");
    const std::string loca = tables("loca");
    const std::string glyf = tables("glyf");
    const std::string hmtx = tables("hmtx");
    if (head.size() < 54 || hhea.size() < 36 || maxp.size() < 6 || loca.empty() || glyf.empty() || hmtx.empty()) {
      return std::nullopt;
    }
    const std::size_t glyphCount = Reader(maxp).u16(4);
    const bool longOffsets = Reader(head).s16(50) != 0;
    const GlyphTable outlines(glyf, loca, longOffsets, glyphCount);

    // The glyphs kept: .notdef first, then each one shown, then the parts of composites.
    std::vector<std::uint16_t> kept{0};
    std::unordered_map<std::uint16_t, std::uint16_t> newNumber{{0, 0}};
    auto keep = [&](std::uint16_t glyph) {
      if (glyph >= glyphCount) glyph = 0;
      const auto [at, added] = newNumber.emplace(glyph, static_cast<std::uint16_t>(kept.size()));
      if (added) kept.push_back(glyph);
      return at->second;
    };
    std::vector<std::uint16_t> codes;
    for (const std::uint16_t glyph : glyphs) codes.push_back(keep(glyph));
    for (std::size_t i = 0; i < kept.size(); ++i) {
      GlyphTable::forEachComponent(outlines.outline(kept[i]), [&](std::size_t, std::uint16_t part) { keep(part); });
    }

    std::string newGlyf;
    std::string newLoca;
    std::string newHmtx;
    const Reader metrics(hmtx);
    const std::size_t longMetrics = std::max<std::size_t>(1, Reader(hhea).u16(34));
    for (const std::uint16_t glyph : kept) {
      AppendFontU32(newLoca, static_cast<std::uint32_t>(newGlyf.size()));
      std::string outline = outlines.outline(glyph);
      GlyphTable::forEachComponent(outline, [&](std::size_t at, std::uint16_t part) {
        set16(outline, at, newNumber.at(part < glyphCount ? part : 0));
      });
      newGlyf += outline;
      newGlyf.append((4 - newGlyf.size() % 4) % 4, '\0');
      const std::size_t metric = std::min<std::size_t>(glyph, longMetrics - 1);
      AppendFontU16(newHmtx, metrics.u16(4 * metric));
      AppendFontU16(newHmtx, glyph < longMetrics ? metrics.u16(4 * metric + 2)
                                                 : metrics.u16(4 * longMetrics + 2 * (glyph - longMetrics)));
    }
    AppendFontU32(newLoca, static_cast<std::uint32_t>(newGlyf.size()));

    set16(head, 50, 1);  // long loca offsets
    set16(hhea, 34, static_cast<unsigned>(kept.size()));
    set16(maxp, 4, static_cast<unsigned>(kept.size()));

    std::map<std::string, std::string> out{{"head", head}, {"hhea", hhea}, {"maxp", maxp},
                                           {"loca", newLoca}, {"glyf", newGlyf}, {"hmtx", newHmtx},
                                           {"cmap", symbolicCmap(codes)}, {"post", namelessPost(tables("post"))}};
    // The hinting programs the outlines' instructions call.
    for (const char* tag : {"cvt ", "fpgm", "prep"}) {
      if (std::string table = tables(tag); !table.empty()) out.emplace(tag, std::move(table));
    }
    return TrueTypeFontFile(out);
  } catch (const std::out_of_range&) {
    return std::nullopt;
  }
}

}  // namespace vd
