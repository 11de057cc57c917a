#include "server/Options.h"

#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "common/Text.h"

namespace vd {

std::optional<std::int16_t> toInt16(const std::string& text) {
  const std::string trimmed = trimSpaces(text);
  if (trimmed.empty()) return std::nullopt;
  // Only plain decimal notation: strtod alone would also take "inf", "nan" and hex.
  for (const char c : trimmed) {
    const bool allowed = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
    if (!allowed) return std::nullopt;
  }
  std::istringstream stream(trimmed);
  stream.imbue(std::locale::classic());
  double value = 0;
  stream >> value;
  if (stream.fail() || !stream.eof() || !std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);  // the default rounding mode: half to even
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

std::optional<bool> toCheckState(const std::string& text) {
  const std::optional<std::int16_t> value = toInt16(text);
  if (!value || (*value != 0 && *value != 1)) return std::nullopt;
  return *value == 1;
}

}  // namespace vd
