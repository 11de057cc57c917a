#include "outside/notepad/TextContent.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/Errors.h"

namespace vd {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The Windows code page's characters at 0x80..0x9F; 0 where it has none.
constexpr char32_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

enum class Form { EightBit, Utf16Little, Utf16Big };

struct Start {
  Form form;
  std::size_t markLength;
};

// Needs the first three bytes, or all there are.
Start startOf(std::string_view head) {
  if (head.starts_with("\xFF\xFE")) return {Form::Utf16Little, 2};
  if (head.starts_with("\xFE\xFF")) return {Form::Utf16Big, 2};
  if (head.starts_with("\xEF\xBB\xBF")) return {Form::EightBit, 3};
  return {Form::EightBit, 0};
}

// Length of the valid UTF-8 sequence at the start of bytes: 0 when there is none, -1
// when the bytes end inside what may still become one.
int utf8SequenceLength(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead == 0xE0) {
    length = 3;
    low = 0xA0;
  } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
    length = 3;
  } else if (lead == 0xED) {  // no surrogates
    length = 3;
    high = 0x9F;
  } else if (lead == 0xF0) {
    length = 4;
    low = 0x90;
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    length = 4;
  } else if (lead == 0xF4) {
    length = 4;
    high = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= bytes.size()) return -1;
    const auto next = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

char32_t utf8CodePoint(std::string_view sequence) {
  const auto lead = static_cast<unsigned char>(sequence[0]);
  if (sequence.size() == 1) return lead;
  char32_t value = lead & (0x7F >> sequence.size());
  for (std::size_t i = 1; i < sequence.size(); ++i) value = (value << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
  return value;
}

char32_t eightBitCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F && kWindows1252[byte - 0x80] != 0) return kWindows1252[byte - 0x80];
  return byte;
}

// Walks the whole code points at the start of data, calling take(codePoint, units,
// malformed) for each; returns the bytes used. Unless atEnd, it stops before a sequence
// that the data may end inside.
template <class Take>
std::size_t walkEightBit(std::string_view data, bool atEnd, Take&& take) {
  std::size_t at = 0;
  while (at < data.size()) {
    const int length = utf8SequenceLength(data.substr(at));
    if (length < 0 && !atEnd) break;
    if (length > 0) {
      take(utf8CodePoint(data.substr(at, static_cast<std::size_t>(length))), 1, false);
      at += static_cast<std::size_t>(length);
    } else {
      take(eightBitCodePoint(static_cast<unsigned char>(data[at])), 1, false);
      ++at;
    }
  }
  return at;
}

template <class Take>
std::size_t walkUtf16(std::string_view data, bool bigEndian, bool atEnd, Take&& take) {
  auto unitAt = [&](std::size_t at) -> char32_t {
    const auto first = static_cast<unsigned char>(data[at]);
    const auto second = static_cast<unsigned char>(data[at + 1]);
    return bigEndian ? (first << 8 | second) : (second << 8 | first);
  };
  std::size_t at = 0;
  while (at + 2 <= data.size()) {
    const char32_t unit = unitAt(at);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (at + 4 > data.size() && !atEnd) break;
      if (at + 4 <= data.size()) {
        const char32_t low = unitAt(at + 2);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          take(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), 2, false);
          at += 4;
          continue;
        }
      }
      take(kReplacement, 1, true);
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      take(kReplacement, 1, true);
    } else {
      take(unit, 1, false);
    }
    at += 2;
  }
  if (atEnd && at < data.size()) {  // an odd byte at the end
    take(kReplacement, 1, true);
    at = data.size();
  }
  return at;
}

template <class Take>
std::size_t walk(Form form, std::string_view data, bool atEnd, Take&& take) {
  if (form == Form::EightBit) return walkEightBit(data, atEnd, take);
  return walkUtf16(data, form == Form::Utf16Big, atEnd, take);
}

// Control codes that text files hold: tab, line and page breaks, and the end-of-file
// mark some editors leave.
bool isStrange(char32_t c) {
  if (c < 0x20) return c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1A;
  return c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void TextSniffer::feed(std::string_view bytes) {
  if (sawNul_ || bytes.empty()) return;
  std::string data = pending_;
  data.append(bytes);
  pending_.clear();
  if (!started_) {
    if (data.size() < 3) {
      pending_ = data;
      return;
    }
    begin(data);
  }
  consume(data, false);
}

void TextSniffer::begin(std::string& data) {
  const Start start = startOf(data);
  utf16_ = start.form != Form::EightBit;
  bigEndian_ = start.form == Form::Utf16Big;
  data.erase(0, start.markLength);
  started_ = true;
}

void TextSniffer::consume(std::string_view data, bool atEnd) {
  const Form form = !utf16_ ? Form::EightBit : bigEndian_ ? Form::Utf16Big : Form::Utf16Little;
  if (form == Form::EightBit && data.find('\0') != std::string_view::npos) {
    sawNul_ = true;
    return;
  }
  const std::size_t used = walk(form, data, atEnd, [this](char32_t c, unsigned units, bool malformed) {
    units_ += units;
    if (malformed || c == 0 || isStrange(c)) strange_ += units;
  });
  pending_.assign(data.substr(used));
}

std::optional<std::string> TextSniffer::notTextReason() const {
  TextSniffer finished = *this;
  if (!finished.sawNul_) {
    std::string data = finished.pending_;
    finished.pending_.clear();
    if (!finished.started_) finished.begin(data);
    finished.consume(data, true);
  }
  if (finished.sawNul_) return "it holds NUL bytes";
  if (finished.strange_ * 10 > finished.units_) return "more than one character in ten is a control code";
  return std::nullopt;
}

std::optional<std::string> notTextReasonOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("read", path, std::strerror(errno));
  TextSniffer sniffer;
  std::string buffer(1 << 16, '\0');
  while (!sniffer.settled() && in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    sniffer.feed(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  if (in.bad()) throw FileError("read", path, "read error");
  return sniffer.notTextReason();
}

std::string decodeText(std::string_view bytes) {
  const Start start = startOf(bytes);
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 8);
  walk(start.form, bytes.substr(start.markLength), true,
       [&text](char32_t c, unsigned, bool) { appendUtf8(text, c); });
  return text;
}

}  // namespace vd
