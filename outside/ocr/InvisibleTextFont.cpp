#include "outside/ocr/InvisibleTextFont.h"

#include <cstdint>
#include <cstdio>
#include <map>

#include <qpdf/QPDF.hh>

#include "outside/TrueTypeFontFile.h"

namespace vd {
namespace {

constexpr const char* kFontName = "/InvisibleText";
constexpr std::uint32_t kReplacement = 0xFFFD;

std::string headTable() {
  std::string head;
  AppendFontU32(head, 0x00010000);                     // version
  AppendFontU32(head, 0x00010000);                     // font revision
  AppendFontU32(head, 0);                              // checksum adjustment: TrueTypeFontFile fills it in
  AppendFontU32(head, 0x5F0F3CF5);                     // magic number
  AppendFontU16(head, 0x000B);                         // flags: base line at 0, left side bearing at 0, integer scaling
  AppendFontU16(head, 1000);                           // units per em
  for (int i = 0; i < 4; ++i) AppendFontU32(head, 0);  // created, modified
  AppendFontU16(head, 0);                              // xMin
  AppendFontU16(head, static_cast<std::uint16_t>(-200));  // yMin
  AppendFontU16(head, kInvisibleTextAdvance);             // xMax
  AppendFontU16(head, 800);                               // yMax
  AppendFontU16(head, 0);                                 // mac style
  AppendFontU16(head, 3);                                 // smallest readable size
  AppendFontU16(head, 2);                                 // font direction hint
  AppendFontU16(head, 0);                                 // short loca offsets
  AppendFontU16(head, 0);                                 // glyph data format
  return head;
}

std::string hheaTable() {
  std::string hhea;
  AppendFontU32(hhea, 0x00010000);
  AppendFontU16(hhea, 800);                               // ascender
  AppendFontU16(hhea, static_cast<std::uint16_t>(-200));  // descender
  AppendFontU16(hhea, 0);                                 // line gap
  AppendFontU16(hhea, kInvisibleTextAdvance);             // largest advance
  AppendFontU16(hhea, 0);                                 // smallest left side bearing
  AppendFontU16(hhea, 0);                                 // smallest right side bearing
  AppendFontU16(hhea, 0);                                 // largest extent
  AppendFontU16(hhea, 1);                                 // caret slope rise
  AppendFontU16(hhea, 0);                                 // caret slope run
  for (int i = 0; i < 5; ++i) AppendFontU16(hhea, 0);     // caret offset, reserved
  AppendFontU16(hhea, 0);                                 // metric data format
  AppendFontU16(hhea, 2);                                 // horizontal metrics
  return hhea;
}

std::string maxpTable() {
  std::string maxp;
  AppendFontU32(maxp, 0x00010000);
  AppendFontU16(maxp, 2);                              // glyphs: .notdef and the one every code shows
  for (int i = 0; i < 4; ++i) AppendFontU16(maxp, 0);  // points, contours, composite points and contours
  AppendFontU16(maxp, 2);                              // zones
  for (int i = 0; i < 8; ++i) AppendFontU16(maxp, 0);  // twilight points ... component depth
  return maxp;
}

std::string hmtxTable() {
  std::string hmtx;
  for (int glyph = 0; glyph < 2; ++glyph) {
    AppendFontU16(hmtx, kInvisibleTextAdvance);
    AppendFontU16(hmtx, 0);
  }
  return hmtx;
}

std::string locaTable() {
  // Both glyphs are empty: they start and end at the glyph table's first byte.
  std::string loca;
  for (int i = 0; i < 3; ++i) AppendFontU16(loca, 0);
  return loca;
}

// Maps no character (the PDF's CIDToGIDMap chooses the glyphs): format 4 with only the
// closing segment it requires.
std::string cmapTable() {
  std::string cmap;
  AppendFontU16(cmap, 0);       // version
  AppendFontU16(cmap, 1);       // subtables
  AppendFontU16(cmap, 3);       // Windows
  AppendFontU16(cmap, 1);       // Unicode BMP
  AppendFontU32(cmap, 12);      // offset of the subtable
  AppendFontU16(cmap, 4);       // format
  AppendFontU16(cmap, 24);      // length
  AppendFontU16(cmap, 0);       // language
  AppendFontU16(cmap, 2);       // segments times two
  AppendFontU16(cmap, 2);       // search range
  AppendFontU16(cmap, 0);       // entry selector
  AppendFontU16(cmap, 0);       // range shift
  AppendFontU16(cmap, 0xFFFF);  // end code
  AppendFontU16(cmap, 0);       // reserved
  AppendFontU16(cmap, 0xFFFF);  // start code
  AppendFontU16(cmap, 1);       // delta
  AppendFontU16(cmap, 0);       // range offset
  return cmap;
}

std::string nameTable() {
  const std::string family = "InvisibleText";
  std::string utf16;
  for (char c : family) AppendFontU16(utf16, static_cast<unsigned char>(c));
  const std::uint16_t ids[] = {1, 4, 6};  // family, full name, PostScript name
  std::string name;
  AppendFontU16(name, 0);
  AppendFontU16(name, 3);
  AppendFontU16(name, 6 + 3 * 12);
  for (std::uint16_t id : ids) {
    AppendFontU16(name, 3);
    AppendFontU16(name, 1);
    AppendFontU16(name, 0x0409);
    AppendFontU16(name, id);
    AppendFontU16(name, static_cast<std::uint16_t>(utf16.size()));
    AppendFontU16(name, 0);  // all three share the one string
  }
  return name + utf16;
}

std::string postTable() {
  std::string post;
  AppendFontU32(post, 0x00030000);  // no glyph names
  AppendFontU32(post, 0);           // italic angle
  AppendFontU16(post, static_cast<std::uint16_t>(-100));
  AppendFontU16(post, 50);
  AppendFontU32(post, 0);  // not fixed pitch
  for (int i = 0; i < 4; ++i) AppendFontU32(post, 0);
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
  const std::map<std::string, std::string> tables = {
      {"cmap", cmapTable()}, {"glyf", std::string()}, {"head", headTable()}, {"hhea", hheaTable()},
      {"hmtx", hmtxTable()}, {"loca", locaTable()},   {"maxp", maxpTable()}, {"name", nameTable()},
      {"post", postTable()}};
  return TrueTypeFontFile(tables);
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
    AppendFontU16(codes, point);
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
  for (int code = 0; code < 65536; ++code) AppendFontU16(glyphs, 1);
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
