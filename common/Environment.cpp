#include "Environment.h"

#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

namespace vd {

std::string environmentText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

double positiveEnvironmentNumber(const char* name, double fallback) {
  const std::string text = environmentText(name);
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return fallback;
  const std::string number = text.substr(first, text.find_last_not_of(' ') - first + 1);
  // Digits, one point and an exponent only: the stream alone would take "inf" and hex.
  if (number.find_first_not_of("0123456789.eE+-") != std::string::npos) return fallback;
  std::istringstream stream(number);
  stream.imbue(std::locale::classic());
  double value = 0;
  stream >> value;
  if (stream.fail() || !stream.eof() || !std::isfinite(value) || value <= 0) return fallback;
  return value;
}

}  // namespace vd
