#include "common/JsonText.h"

#include <cstdio>

#include "common/Text.h"

namespace vd {

void appendJsonString(std::string& json, std::string_view text) {
  json += '"';
  for (const char c : withValidUtf8(text)) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      json += escaped;
    } else {
      json += c;
    }
  }
  json += '"';
}

}  // namespace vd
