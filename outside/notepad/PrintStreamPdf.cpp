#include "outside/notepad/PrintStreamPdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <QPainterPath>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "outside/notepad/TrueTypeSubset.h"

namespace vd {
namespace {

constexpr std::size_t kCodesPerResource = 256;

void appendNumber(std::string& out, double value) {
  if (std::abs(value) < 0.0005) value = 0;
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  if (error != std::errc{}) text = "0";
  while (text.find('.') != std::string_view::npos && (text.back() == '0' || text.back() == '.')) {
    const bool dot = text.back() == '.';
    text.remove_suffix(1);
    if (dot) break;
  }
  out += text;
}

// A literal string of one-byte codes; line ends are escaped, as a reader would take a
// bare one for a line feed.
void appendCodes(std::string& out, const std::string& codes) {
  out += '(';
  for (const char c : codes) {
    switch (c) {
      case '(': out += "\\("; break;
      case ')': out += "\\)"; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  out += ')';
}

std::string hex16(const std::u16string& text) {
  static const char* const digits = "0123456789ABCDEF";
  std::string hex;
  for (const char16_t unit : text) {
    for (int shift = 12; shift >= 0; shift -= 4) hex += digits[(unit >> shift) & 0xF];
  }
  return hex;
}

std::string toUnicodeMap(const std::vector<std::u16string>& texts) {
  std::string map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n";
  std::vector<std::size_t> mapped;
  for (std::size_t code = 0; code < texts.size(); ++code) {
    if (!texts[code].empty()) mapped.push_back(code);
  }
  static const char* const digits = "0123456789ABCDEF";
  for (std::size_t begin = 0; begin < mapped.size(); begin += 100) {
    const std::size_t end = std::min(mapped.size(), begin + 100);
    map += std::to_string(end - begin) + " beginbfchar\n";
    for (std::size_t i = begin; i < end; ++i) {
      const std::size_t code = mapped[i];
      map += std::string("<") + digits[code >> 4] + digits[code & 0xF] + "> <" + hex16(texts[code]) + ">\n";
    }
    map += "endbfchar\n";
  }
  return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// A font's name as a PDF name may carry it: letters and digits only.
std::string plainName(const QString& family, const QString& style) {
  std::string name;
  for (const QChar c : family + style) {
    if (c.unicode() < 128 && c.isLetterOrNumber()) name += static_cast<char>(c.unicode());
  }
  return name.empty() ? "Font" : name;
}

// A subset's name tag: six capital letters, a different one for every resource.
std::string subsetTag(std::size_t number) {
  std::string tag(6, 'A');
  for (int i = 5; i >= 0 && number > 0; --i, number /= 26) tag[static_cast<std::size_t>(i)] = static_cast<char>('A' + number % 26);
  return tag;
}

}  // namespace

// The fonts of the document: for each face, the glyphs shown, in resources of at most
// 256 one-byte codes.
class PrintStreamPdf::Fonts {
 public:
  struct Code {
    int resource = -1;  // -1: the face has no TrueType outlines, the glyph is drawn
    char code = 0;
    double advance = 0;  // in text space units of size 1
  };
  struct Resource {
    int face = 0;
    std::vector<std::uint16_t> glyphs;
    std::vector<std::u16string> texts;
    std::vector<double> widths;  // in thousandths of the size
  };
  struct Face {
    QRawFont font;
    bool trueType = false;
    std::unordered_map<std::uint16_t, Code> codes;
    std::unordered_map<std::uint16_t, char32_t> characters;  // glyph -> the first character showing it
    int openResource = -1;
  };

  int faceOf(const QRawFont& font) {
    if (last_ >= 0 && faces_[static_cast<std::size_t>(last_)].font == font) return last_;
    for (std::size_t i = 0; i < faces_.size(); ++i) {
      if (faces_[i].font == font) return last_ = static_cast<int>(i);
    }
    Face face;
    face.font = font;
    face.trueType = !font.fontTable("glyf").isEmpty() && !font.fontTable("loca").isEmpty();
    if (face.trueType) face.characters = reverseCharacterMap(font);
    faces_.push_back(std::move(face));
    return last_ = static_cast<int>(faces_.size() - 1);
  }

  const Code& codeOf(int faceNumber, std::uint16_t glyph) {
    Face& face = faces_[static_cast<std::size_t>(faceNumber)];
    if (const auto found = face.codes.find(glyph); found != face.codes.end()) return found->second;
    Code code;
    const double pixelSize = face.font.pixelSize() > 0 ? face.font.pixelSize() : 1;
    QPointF advance;
    const quint32 index = glyph;
    face.font.advancesForGlyphIndexes(&index, &advance, 1);
    code.advance = advance.x() / pixelSize;
    if (face.trueType) {
      if (face.openResource < 0 || resources_[static_cast<std::size_t>(face.openResource)].glyphs.size() == kCodesPerResource) {
        resources_.push_back(Resource{faceNumber, {}, {}, {}});
        face.openResource = static_cast<int>(resources_.size() - 1);
      }
      Resource& resource = resources_[static_cast<std::size_t>(face.openResource)];
      code.resource = face.openResource;
      code.code = static_cast<char>(resource.glyphs.size());
      resource.glyphs.push_back(glyph);
      resource.widths.push_back(code.advance * 1000);
      std::u16string text;
      if (const auto character = face.characters.find(glyph); character != face.characters.end()) {
        text = QString::fromUcs4(&character->second, 1).toStdU16String();
      }
      resource.texts.push_back(std::move(text));
    }
    return face.codes.emplace(glyph, code).first->second;
  }

  const Face& face(int number) const { return faces_[static_cast<std::size_t>(number)]; }
  const std::vector<Resource>& resources() const { return resources_; }

 private:
  // Which character each glyph shows, from the font's own character map: the first (the
  // lowest) character that maps to it.
  static std::unordered_map<std::uint16_t, char32_t> reverseCharacterMap(const QRawFont& font) {
    std::unordered_map<std::uint16_t, char32_t> characters;
    QString all;
    std::vector<char32_t> order;
    for (char32_t c = 0x20; c < 0x30000; ++c) {
      if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFEFF || (c >= 0x7F && c < 0xA0)) continue;
      all.append(QString::fromUcs4(&c, 1));
      order.push_back(c);
    }
    std::vector<quint32> glyphs(static_cast<std::size_t>(all.size()));
    int count = static_cast<int>(glyphs.size());
    if (!font.glyphIndexesForChars(all.constData(), static_cast<int>(all.size()), glyphs.data(), &count)) return characters;
    for (std::size_t i = 0; i < order.size() && i < static_cast<std::size_t>(count); ++i) {
      if (glyphs[i] != 0 && glyphs[i] <= 0xFFFF) characters.emplace(static_cast<std::uint16_t>(glyphs[i]), order[i]);
    }
    return characters;
  }

  std::vector<Face> faces_;
  std::vector<Resource> resources_;
  int last_ = -1;
};

PrintStreamPdf::PrintStreamPdf(double pageWidth, double pageHeight, QPointF origin, int resolution)
    : pageWidth_(pageWidth), pageHeight_(pageHeight), origin_(origin), scale_(72.0 / resolution),
      fonts_(std::make_unique<Fonts>()) {}

PrintStreamPdf::~PrintStreamPdf() = default;

void PrintStreamPdf::newPage() {
  finishPage();
  content_ = "BT\n";
  open_ = true;
  fontInUse_.clear();
}

void PrintStreamPdf::finishPage() {
  if (!open_) return;
  content_ += "ET\n";
  pages_.push_back(std::move(content_));
  content_.clear();
  open_ = false;
}

void PrintStreamPdf::draw(const QGlyphRun& run, QPointF offset) {
  if (!open_) newPage();
  const QRawFont font = run.rawFont();
  const int face = fonts_->faceOf(font);
  const double size = font.pixelSize() * scale_;
  const QList<quint32> glyphs = run.glyphIndexes();
  const QList<QPointF> positions = run.positions();
  const qsizetype count = std::min(glyphs.size(), positions.size());

  // One text operator per stretch of glyphs in one resource on one baseline.
  int resource = -2;
  double penX = 0;
  double baseline = 0;
  std::string codes;
  std::string shown;  // the operator's array: strings and adjustments
  bool adjusted = false;
  auto flush = [&] {
    if (!codes.empty()) appendCodes(shown, codes);
    codes.clear();
    if (shown.empty()) return;
    if (adjusted) {
      content_ += '[';
      content_ += shown;
      content_ += "]TJ\n";
    } else {
      content_ += shown;
      content_ += " Tj\n";
    }
    shown.clear();
    adjusted = false;
  };
  for (qsizetype i = 0; i < count; ++i) {
    const double x = origin_.x() + (positions[i].x() + offset.x()) * scale_;
    const double y = pageHeight_ - (origin_.y() + (positions[i].y() + offset.y()) * scale_);
    const Fonts::Code& code = fonts_->codeOf(face, static_cast<std::uint16_t>(glyphs[i]));
    if (code.resource < 0) {
      // No outlines a font resource can carry: the glyph is drawn as a shape.
      flush();
      resource = -2;
      const QPainterPath path = font.pathForGlyph(glyphs[i]);
      if (path.isEmpty()) continue;
      content_ += "ET\nq 1 0 0 1 ";
      appendNumber(content_, x);
      content_ += ' ';
      appendNumber(content_, y);
      content_ += " cm\n";
      for (int e = 0; e < path.elementCount(); ++e) {
        const QPainterPath::Element element = path.elementAt(e);
        auto point = [&](const QPainterPath::Element& at) {
          appendNumber(content_, at.x * scale_);
          content_ += ' ';
          appendNumber(content_, -at.y * scale_);
          content_ += ' ';
        };
        if (element.isMoveTo()) {
          point(element);
          content_ += "m\n";
        } else if (element.isLineTo()) {
          point(element);
          content_ += "l\n";
        } else if (element.isCurveTo() && e + 2 < path.elementCount()) {
          point(element);
          point(path.elementAt(e + 1));
          point(path.elementAt(e + 2));
          content_ += "c\n";
          e += 2;
        }
      }
      content_ += (path.fillRule() == Qt::WindingFill ? "f\nQ\nBT\n" : "f*\nQ\nBT\n");
      fontInUse_.clear();
      continue;
    }
    const double expected = penX;
    if (code.resource != resource || std::abs(y - baseline) > 0.001) {
      flush();
      resource = code.resource;
      baseline = y;
      const std::string fontName = "/F" + std::to_string(resource);
      if (fontName != fontInUse_ || std::abs(size - sizeInUse_) > 1e-6) {
        content_ += fontName + ' ';
        appendNumber(content_, size);
        content_ += " Tf\n";
        fontInUse_ = fontName;
        sizeInUse_ = size;
      }
      content_ += "1 0 0 1 ";
      appendNumber(content_, x);
      content_ += ' ';
      appendNumber(content_, y);
      content_ += " Tm\n";
    } else if (std::abs(x - expected) > 0.0005) {
      // The layout put the glyph elsewhere than the last one's advance would.
      appendCodes(shown, codes);
      codes.clear();
      appendNumber(shown, -(x - expected) * 1000 / size);
      adjusted = true;
    }
    codes += code.code;
    penX = x + code.advance * size;
  }
  flush();
}

void PrintStreamPdf::write(const std::string& path, const QString& title) {
  finishPage();
  if (pages_.empty()) newPage(), finishPage();
  try {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle fontDictionary = QPDFObjectHandle::newDictionary();
    const auto& resources = fonts_->resources();
    // A face's tables, read once for all its resources (a large face's outlines run to megabytes).
    std::map<std::pair<int, std::string>, std::string> tables;
    for (std::size_t number = 0; number < resources.size(); ++number) {
      const Fonts::Resource& resource = resources[number];
      const QRawFont& font = fonts_->face(resource.face).font;
      const auto program = TrueTypeSubset::make(
          [&](const char* tag) {
            const auto key = std::make_pair(resource.face, std::string(tag));
            auto found = tables.find(key);
            if (found == tables.end()) {
              const QByteArray table = font.fontTable(tag);
              found = tables.emplace(key, std::string(table.constData(), static_cast<std::size_t>(table.size()))).first;
            }
            return found->second;
          },
          resource.glyphs);
      if (!program) throw std::runtime_error("The font " + font.familyName().toStdString() + " cannot be embedded.");
      const double unitsPerEm = font.unitsPerEm() > 0 ? font.unitsPerEm() : 1000;
      const std::string name = subsetTag(number) + "+" + plainName(font.familyName(), font.styleName());

      QPDFObjectHandle file = QPDFObjectHandle::newStream(&pdf, *program);
      file.getDict().replaceKey("/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(program->size())));
      QPDFObjectHandle bbox = QPDFObjectHandle::newArray();
      const QByteArray head = font.fontTable("head");
      for (int at = 36; at <= 42; at += 2) {
        const int value = head.size() >= 54 ? static_cast<std::int16_t>((static_cast<unsigned char>(head[at]) << 8) |
                                                                         static_cast<unsigned char>(head[at + 1]))
                                            : 0;
        bbox.appendItem(QPDFObjectHandle::newInteger(std::lround(value * 1000 / unitsPerEm)));
      }
      QPDFObjectHandle descriptor = QPDFObjectHandle::parse(
          "<< /Type /FontDescriptor /Flags 4 /ItalicAngle 0 /StemV 80 >>");
      descriptor.replaceKey("/FontName", QPDFObjectHandle::newName("/" + name));
      descriptor.replaceKey("/FontBBox", bbox);
      descriptor.replaceKey("/Ascent", QPDFObjectHandle::newInteger(std::lround(font.ascent() / font.pixelSize() * 1000)));
      descriptor.replaceKey("/Descent", QPDFObjectHandle::newInteger(-std::lround(font.descent() / font.pixelSize() * 1000)));
      descriptor.replaceKey("/CapHeight", QPDFObjectHandle::newInteger(std::lround(font.capHeight() / font.pixelSize() * 1000)));
      descriptor.replaceKey("/FontFile2", file);

      QPDFObjectHandle widths = QPDFObjectHandle::newArray();
      for (const double width : resource.widths) widths.appendItem(QPDFObjectHandle::newReal(width, 3, true));
      QPDFObjectHandle dictionary = QPDFObjectHandle::parse("<< /Type /Font /Subtype /TrueType /FirstChar 0 >>");
      dictionary.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + name));
      dictionary.replaceKey("/LastChar", QPDFObjectHandle::newInteger(static_cast<long long>(resource.glyphs.size()) - 1));
      dictionary.replaceKey("/Widths", widths);
      dictionary.replaceKey("/FontDescriptor", pdf.makeIndirectObject(descriptor));
      dictionary.replaceKey("/ToUnicode", QPDFObjectHandle::newStream(&pdf, toUnicodeMap(resource.texts)));
      fontDictionary.replaceKey("/F" + std::to_string(number), pdf.makeIndirectObject(dictionary));
    }
    QPDFObjectHandle pageResources = QPDFObjectHandle::newDictionary();
    pageResources.replaceKey("/Font", fontDictionary);
    pageResources = pdf.makeIndirectObject(pageResources);

    QPDFObjectHandle pageTree = pdf.getRoot().getKey("/Pages");
    QPDFObjectHandle kids = QPDFObjectHandle::newArray();
    QPDFObjectHandle mediaBox = QPDFObjectHandle::newArray();
    for (const double value : {0.0, 0.0, pageWidth_, pageHeight_}) mediaBox.appendItem(QPDFObjectHandle::newReal(value, 3, true));
    for (std::string& content : pages_) {
      QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page >>");
      page.replaceKey("/Parent", pageTree);
      page.replaceKey("/MediaBox", mediaBox);
      page.replaceKey("/Resources", pageResources);
      page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, std::move(content)));
      kids.appendItem(pdf.makeIndirectObject(page));
    }
    pages_.clear();
    pageTree.replaceKey("/Count", QPDFObjectHandle::newInteger(kids.getArrayNItems()));
    pageTree.replaceKey("/Kids", kids);

    QPDFObjectHandle info = QPDFObjectHandle::newDictionary();
    info.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(title.toStdString()));
    info.replaceKey("/Creator", QPDFObjectHandle::newUnicodeString("Vellumdock"));
    pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(info));

    QPDFWriter writer(pdf, path.c_str());
    writer.setCompressStreams(true);
    writer.write();
  } catch (const std::exception& error) {
    throw std::runtime_error("The print file " + path + " cannot be written: " + error.what());
  }
}

}  // namespace vd
