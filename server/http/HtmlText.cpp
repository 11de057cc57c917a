#include "server/http/HtmlText.h"

#include "common/Text.h"

namespace vd::http {
namespace {

// U+2400 + c in UTF-8: the pictures of the control characters ("␊" for a line feed).
void appendControlPicture(std::string& html, unsigned char c) {
  const unsigned code = c == 0x7F ? 0x2421 : 0x2400 + c;
  html += static_cast<char>(0xE0 | (code >> 12));
  html += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  html += static_cast<char>(0x80 | (code & 0x3F));
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string html;
  for (const char c : withValidUtf8(text)) {
    switch (c) {
      case '&': html += "&amp;"; break;
      case '<': html += "&lt;"; break;
      case '>': html += "&gt;"; break;
      case '"': html += "&quot;"; break;
      case '\'': html += "&#39;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          appendControlPicture(html, static_cast<unsigned char>(c));
        } else {
          html += c;
        }
    }
  }
  return html;
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  return hex;
}

bool FromHex(std::string_view hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  std::string decoded;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexValue(hex[i]);
    const int low = hexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    decoded += static_cast<char>(high * 16 + low);
  }
  bytes = std::move(decoded);
  return true;
}

}  // namespace vd::http
