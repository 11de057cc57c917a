// What an HTTP client can put before the daemon's watchers and checks: whatever the bytes,
// a name or reason on the status page stays text (no markup, valid UTF-8, no control
// character), a JSON string stays one string, a form's hex value gives back the exact
// name, and a bearer credential passes only with the token itself.
#include "fuzz/FuzzTargets.h"

#include "common/JsonText.h"
#include "common/Text.h"
#include "server/http/HtmlText.h"
#include "server/http/ListenAddress.h"

namespace vd::fuzz {

int FuzzHttpTexts(const std::uint8_t* data, std::size_t size) {
  const std::string text = BytesOf(data, size);

  const std::string html = http::HtmlText(text);
  Require(html.find_first_of("<>\"'") == std::string::npos, "the page shows no markup of a name");
  Require(withValidUtf8(html) == html, "the page's text is UTF-8");
  for (const char c : html) Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no control character");
  for (std::size_t amp = html.find('&'); amp != std::string::npos; amp = html.find('&', amp + 1)) {
    const std::string_view rest = std::string_view(html).substr(amp);
    Require(rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;") ||
                rest.starts_with("&quot;") || rest.starts_with("&#39;"),
            "every ampersand begins a reference");
  }

  std::string json;
  appendJsonString(json, text);
  Require(withValidUtf8(json) == json, "JSON text is UTF-8");
  Require(json.size() >= 2 && json.front() == '"' && json.back() == '"', "a JSON string is quoted");
  for (std::size_t i = 1; i + 1 < json.size(); ++i) {
    Require(static_cast<unsigned char>(json[i]) >= 0x20, "no raw control character in JSON");
    if (json[i] == '\\') {
      ++i;  // the escaped character
      continue;
    }
    Require(json[i] != '"', "the string does not end early");
  }

  std::string back;
  Require(http::FromHex(http::ToHex(text), back) && back == text, "a form names the file exactly");

  const std::string token = "the-one-token-0123456789";
  std::string_view credential = text;
  while (!credential.empty() && credential.front() == ' ') credential.remove_prefix(1);
  Require(http::CarriesToken("Bearer " + text, token) == (credential == token), "only the token passes");
  return 0;
}

}  // namespace vd::fuzz
