#include "outside/ocr/InvisibleTextFont.h"

#include <cstdint>
#include <cstdio>
#include <map>

#include <qpdf/QPDF.hh>

namespace vd {
namespace {

constexpr const char* kFontName = "/InvisibleText";
constexpr std::uint32_t kReplacement = 0xFFFD;

void put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
  put16(out, value >> 16);
  put16(out, value & 0xFFFF);
}

// The TrueType table checksum: the sum of its big-endian 32-bit words, zero-padded.
std::uint32_t checksum(const std::string& table) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < table.size(); i += 4) {
    std::uint32_t word = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      word <<= 8;
      if (i + j < table.size()) word |= static_cast<unsigned char>(table[i + j]);
    }
    sum += word;
  }
  return sum;
}

std::string headTable() {
  std::string head;
  put32(head, 0x00010000);  // version
  put32(head, 0x00010000);  // font revision
  put32(head, 0);           // checksum adjustment, filled in when the font is whole
  put32(head, 0x5F0F3CF5);  // magic number
  put16(head, 0x000B);      // flags: base line at 0, left side bearing at 0, integer scaling
  put16(head, 1000);        // units per em
  for (int i = 0; i < 4; ++i) put32(head, 0);  // created, modified
  put16(head, 0);                               // xMin
  put16(head, static_cast<std::uint16_t>(-200));  // yMin
  put16(head, kInvisibleTextAdvance);            // xMax
  put16(head, 800);                              // yMax
  put16(head, 0);                                // mac style
  put16(head, 3);                                // smallest readable size
  put16(head, 2);                                // font direction hint
  put16(head, 0);                                // short loca offsets
  put16(head, 0);                                // glyph data format
  return head;
}

std::string hheaTable() {
  std::string hhea;
  put32(hhea, 0x00010000);
  put16(hhea, 800);                              // ascender
  put16(hhea, static_cast<std::uint16_t>(-200));  // descender
  put16(hhea, 0);                                // line gap
  put16(hhea, kInvisibleTextAdvance);            // largest advance
  put16(hhea, 0);                                // smallest left side bearing
  put16(hhea, 0);                                // smallest right side bearing
  put16(hhea, 0);                                // largest extent
  put16(hhea, 1);                                // caret slope rise
  put16(hhea, 0);                                // caret slope run
  for (int i = 0; i < 5; ++i) put16(hhea, 0);    // caret offset, reserved
  put16(hhea, 0);                                // metric data format
  put16(hhea, 2);                                // horizontal metrics
  return hhea;
}

std::string maxpTable() {
  std::string maxp;
  put32(maxp, 0x00010000);
  put16(maxp, 2);  // glyphs: .notdef and the one every code shows
  for (int i = 0; i < 4; ++i) put16(maxp, 0);  // points, contours, composite points and contours
  put16(maxp, 2);                               // zones
  for (int i = 0; i < 8; ++i) put16(maxp, 0);  // twilight points ... component depth
  return maxp;
}

std::string hmtxTable() {
  std::string hmtx;
  for (int glyph = 0; glyph < 2; ++glyph) {
    put16(hmtx, kInvisibleTextAdvance);
    put16(hmtx, 0);
  }
  return hmtx;
}

std::string locaTable() {
  // Both glyphs are empty: they start and end at the glyph table's first byte.
  std::string loca;
  for (int i = 0; i < 3; ++i) put16(loca, 0);
  return loca;
}

// Maps no character (the PDF's CIDToGIDMap chooses the glyphs): format 4 with only the
// closing segment it requires.
std::string cmapTable() {
  std::string cmap;
  put16(cmap, 0);   // version
  put16(cmap, 1);   // subtables
  put16(cmap, 3);   // Windows
  put16(cmap, 1);   // Unicode BMP
  put32(cmap, 12);  // offset of the subtable
  put16(cmap, 4);   // format
  put16(cmap, 24);  // length
  put16(cmap, 0);   // language
  put16(cmap, 2);   // segments times two
  put16(cmap, 2);   // search range
  put16(cmap, 0);   // entry selector
  put16(cmap, 0);   // range shift
  put16(cmap, 0xFFFF);  // end code
  put16(cmap, 0);       // reserved
  put16(cmap, 0xFFFF);  // start code
  put16(cmap, 1);       // delta
  put16(cmap, 0);       // range offset
  return cmap;
}

std::string nameTable() {
  const std::string family = "InvisibleText";
  std::string utf16;
  for (char c : family) put16(utf16, static_cast<unsigned char>(c));
  const std::uint16_t ids[] = {1, 4, 6};  // family, full name, PostScript name
  std::string name;
  put16(name, 0);
  put16(name, 3);
  put16(name, 6 + 3 * 12);
  for (std::uint16_t id : ids) {
    put16(name, 3);
    put16(name, 1);
    put16(name, 0x0409);
    put16(name, id);
    put16(name, static_cast<std::uint16_t>(utf16.size()));
    put16(name, 0);  // all three share the one string
  }
  return name + utf16;
}

std::string postTable() {
  std::string post;
  put32(post, 0x00030000);  // no glyph names
  put32(post, 0);           // italic angle
  put16(post, static_cast<std::uint16_t>(-100));
  put16(post, 50);
  put32(post, 0);  // not fixed pitch
  for (int i = 0; i < 4; ++i) put32(post, 0);
  return post;
}

// The ToUnicode map: each code is the UTF-16 code unit it stands for.
std::string toUnicodeMap() {
  std::string ranges;
  int count = 0;
  std::string blocks;
  for (int high = 0; high < 256; ++high) {
    if (high >= 0xD8 && high <= 0xDF) continue;  // surrogates are never codes
    char range[32];
    std::snprintf(range, sizeof range, "<%02X00> <%02XFF> <%02X00>\n", high, high, high);
    ranges += range;
    if (++count == 100) {
      blocks += "100 beginbfrange\n" + ranges + "endbfrange\n";
      ranges.clear();
      count = 0;
    }
  }
  if (count > 0) blocks += std::to_string(count) + " beginbfrange\n" + ranges + "endbfrange\n";
  return "/CIDInit /ProcSet findresource begin\n"
         "12 dict begin\n"
         "begincmap\n"
         "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
         "/CMapName /Adobe-Identity-UCS def\n"
         "/CMapType 2 def\n"
         "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n" +
         blocks +
         "endcmap\n"
         "CMapName currentdict /CMap defineresource pop\n"
         "end\n"
         "end\n";
}

}  // namespace

std::string GlyphlessTrueTypeFont() {
  // Tables in the order of their tags, as the table directory wants them.
  const std::map<std::string, std::string> tables = {
      {"cmap", cmapTable()}, {"glyf", std::string()}, {"head", headTable()}, {"hhea", hheaTable()},
      {"hmtx", hmtxTable()}, {"loca", locaTable()},   {"maxp", maxpTable()}, {"name", nameTable()},
      {"post", postTable()}};
  const std::uint16_t count = static_cast<std::uint16_t>(tables.size());
  std::uint16_t power = 1, selector = 0;
  while (power * 2 <= count) {
    power *= 2;
    ++selector;
  }
  std::string font;
  put32(font, 0x00010000);
  put16(font, count);
  put16(font, power * 16);
  put16(font, selector);
  put16(font, count * 16 - power * 16);
  std::uint32_t offset = 12 + 16u * count;
  std::string data;
  std::size_t headOffset = 0;
  for (const auto& [tag, table] : tables) {
    font += tag;
    put32(font, checksum(table));
    put32(font, offset);
    put32(font, static_cast<std::uint32_t>(table.size()));
    if (tag == "head") headOffset = offset;
    std::string padded = table;
    padded.resize((table.size() + 3) / 4 * 4, '\0');
    data += padded;
    offset += static_cast<std::uint32_t>(padded.size());
  }
  font += data;
  const std::uint32_t adjustment = 0xB1B0AFBAu - checksum(font);
  for (int i = 0; i < 4; ++i) font[headOffset + 8 + i] = static_cast<char>((adjustment >> (24 - 8 * i)) & 0xFF);
  return font;
}

std::string InvisibleTextCodes(const std::string& utf8) {
  std::string codes;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    std::uint32_t point = kReplacement;
    std::size_t length = 1;
    if (lead < 0x80) {
      point = lead;
    } else if (lead >= 0xC2 && lead < 0xF5) {
      length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (i + length <= utf8.size()) {
        point = lead & (0x7F >> length);
        for (std::size_t j = 1; j < length; ++j) {
          const unsigned char next = static_cast<unsigned char>(utf8[i + j]);
          if ((next & 0xC0) != 0x80) {
            point = kReplacement;
            length = j;
            break;
          }
          point = (point << 6) | (next & 0x3F);
        }
      } else {
        length = 1;
      }
    }
    if (point > 0xFFFF || (point >= 0xD800 && point <= 0xDFFF)) point = kReplacement;
    put16(codes, point);
    i += length;
  }
  return codes;
}

QPDFObjectHandle MakeInvisibleTextFont(QPDF& document) {
  const std::string program = GlyphlessTrueTypeFont();
  QPDFObjectHandle fontFile = QPDFObjectHandle::newStream(&document, program);
  fontFile.getDict().replaceKey("/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(program.size())));

  QPDFObjectHandle descriptor = QPDFObjectHandle::parse(
      "<< /Type /FontDescriptor /FontName /InvisibleText /Flags 4 /FontBBox [0 -200 500 800] /ItalicAngle 0"
      " /Ascent 800 /Descent -200 /CapHeight 800 /StemV 80 >>");
  descriptor.replaceKey("/FontFile2", fontFile);

  // Every code shows glyph 1; two bytes per code, which the writer compresses to little.
  std::string glyphs;
  glyphs.reserve(2 * 65536);
  for (int code = 0; code < 65536; ++code) put16(glyphs, 1);
  QPDFObjectHandle cidFont = QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /InvisibleText"
      " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
  cidFont.replaceKey("/FontDescriptor", document.makeIndirectObject(descriptor));
  cidFont.replaceKey("/DW", QPDFObjectHandle::newInteger(kInvisibleTextAdvance));
  cidFont.replaceKey("/CIDToGIDMap", QPDFObjectHandle::newStream(&document, glyphs));

  QPDFObjectHandle font = QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type0 /Encoding /Identity-H >>");
  font.replaceKey("/BaseFont", QPDFObjectHandle::newName(kFontName));
  font.replaceKey("/DescendantFonts", QPDFObjectHandle::newArray({document.makeIndirectObject(cidFont)}));
  font.replaceKey("/ToUnicode", QPDFObjectHandle::newStream(&document, toUnicodeMap()));
  return document.makeIndirectObject(font);
}

}  // namespace vd
