#include "converters/svg/SvgDrawing.h"

#include <zlib.h>

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/EngineError.h"
#include "platform/FileSystem.h"

namespace vd {
namespace {

constexpr const char* kXIncludeNamespace = "http://www.w3.org/2001/XInclude";

std::string megabytes(std::size_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

bool isPacked(std::string_view bytes) { return bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b'; }

// The gzip stream unpacked, up to the largest drawing; the reason when it cannot be.
std::optional<std::string> unpack(std::string_view packed, std::string& xml) {
  z_stream stream{};
  // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return "cannot be unpacked (no memory)";
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  std::string out;
  char buffer[65536];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (out.size() > kLargestSvgDrawing) {
      inflateEnd(&stream);
      return "unpacks to more than " + megabytes(kLargestSvgDrawing) + ", the largest drawing converted";
    }
    // Input that ends before the stream does makes no more progress.
    if (status == Z_BUF_ERROR || (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)) break;
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return "is a damaged compressed drawing (its gzip stream does not end well)";
  xml = std::move(out);
  return std::nullopt;
}

std::string text(const QStringView view) { return view.toString().toStdString(); }

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// A reference the drawing component resolves inside the drawing: to one of its own
// elements, or data carried in the reference itself.
bool staysInside(std::string_view reference) {
  const std::string target = trimmed(reference);
  return target.empty() || target.front() == '#' || startsWithIgnoringCase(target, "data:");
}

// The first url(...) in CSS or an attribute that reaches outside the drawing.
std::optional<std::string> outsideUrl(const std::string& css) {
  std::string lower = css;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (std::size_t at = lower.find("url("); at != std::string::npos; at = lower.find("url(", at + 4)) {
    const std::size_t end = css.find(')', at + 4);
    std::string target =
        trimmed(std::string_view(css).substr(at + 4, (end == std::string::npos ? css.size() : end) - at - 4));
    if (target.size() >= 2 && (target.front() == '"' || target.front() == '\'') && target.back() == target.front()) {
      target = trimmed(std::string_view(target).substr(1, target.size() - 2));
    }
    if (!staysInside(target)) return target;
  }
  return std::nullopt;
}

std::optional<std::string> cssReference(const std::string& css) {
  std::string lower = css;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower.find("@import") != std::string::npos) return "imports a style sheet from another file";
  if (const auto url = outsideUrl(css)) return "refers to another file (" + *url + ")";
  return std::nullopt;
}

// Walks the whole document; the first reason to refuse it, if any.
std::optional<std::string> refusalOf(const std::string& xml) {
  QXmlStreamReader reader(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())));
  int depth = 0;
  bool rootSeen = false;
  std::string style;  // the text of the <style> element being read
  bool inStyle = false;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD:
        for (const QXmlStreamEntityDeclaration& entity : reader.entityDeclarations()) {
          if (!entity.systemId().isEmpty() || !entity.publicId().isEmpty()) {
            return "declares an entity that is read from another file (" + text(entity.systemId()) + ")";
          }
        }
        break;
      case QXmlStreamReader::ProcessingInstruction:
        if (reader.processingInstructionTarget() == QLatin1String("xml-stylesheet")) {
          return "refers to a style sheet in another file (" + text(reader.processingInstructionData()) + ")";
        }
        break;
      case QXmlStreamReader::EntityReference:
        return "uses an entity that is read from another file (&" + text(reader.name()) + ";)";
      case QXmlStreamReader::StartElement: {
        if (!rootSeen) {
          rootSeen = true;
          if (reader.name() != QLatin1String("svg")) {
            return "is no SVG drawing: its outermost element is <" + text(reader.qualifiedName()) + ">";
          }
        }
        if (++depth > kDeepestSvgNesting) {
          return "nests its elements more than " + std::to_string(kDeepestSvgNesting) + " deep";
        }
        if (reader.namespaceUri() == QLatin1String(kXIncludeNamespace)) return "includes another file (XInclude)";
        // A hyperlink is followed by a reader who clicks it, never by the drawing component.
        const bool link = reader.name() == QLatin1String("a");
        for (const QXmlStreamAttribute& attribute : reader.attributes()) {
          const std::string value = text(attribute.value());
          if (!link && attribute.name().compare(QLatin1String("href"), Qt::CaseInsensitive) == 0 &&
              !staysInside(value)) {
            return "refers to another file (" + trimmed(value) + ")";
          }
          if (const auto reference = cssReference(value)) return *reference;
        }
        inStyle = reader.name() == QLatin1String("style");
        style.clear();
        break;
      }
      case QXmlStreamReader::Characters:
        if (inStyle) style += text(reader.text());
        break;
      case QXmlStreamReader::EndElement:
        --depth;
        if (inStyle) {
          inStyle = false;
          if (const auto reference = cssReference(style)) return *reference;
        }
        break;
      default: break;
    }
  }
  if (reader.hasError()) {
    return "is not well-formed XML: " + reader.errorString().toStdString() + " (line " +
           std::to_string(reader.lineNumber()) + ", column " + std::to_string(reader.columnNumber()) + ")";
  }
  if (!rootSeen) return "is empty";
  return std::nullopt;
}

}  // namespace

SvgVerdict CheckSvgDrawing(std::string_view bytes) {
  SvgVerdict verdict;
  if (bytes.size() > kLargestSvgDrawing) {
    verdict.refusal = "is larger than " + megabytes(kLargestSvgDrawing) + ", the largest drawing converted";
    return verdict;
  }
  std::string xml;
  if (isPacked(bytes)) {
    if (auto why = unpack(bytes, xml)) {
      verdict.refusal = std::move(why);
      return verdict;
    }
  } else {
    xml.assign(bytes);
  }
  if (auto why = refusalOf(xml)) {
    verdict.refusal = std::move(why);
    return verdict;
  }
  verdict.xml = std::move(xml);
  return verdict;
}

std::string ReadSvgDrawing(const std::string& path) {
  const std::optional<std::uint64_t> length = fileSystem().fileLength(path);
  if (length && *length > kLargestSvgDrawing) {
    throw EngineError("The drawing " + path + " is larger than " + megabytes(kLargestSvgDrawing) +
                      ", the largest drawing converted.");
  }
  SvgVerdict verdict = CheckSvgDrawing(fileSystem().readFile(path));
  if (verdict.refusal) throw EngineError("The drawing " + path + " " + *verdict.refusal + "; it is not converted.");
  return std::move(verdict.xml);
}

}  // namespace vd
