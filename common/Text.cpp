#include "Text.h"

#include <cstdlib>

namespace vd {

std::string toLowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && toLowerAscii(a) == toLowerAscii(b);
}

std::string trimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

double leadingNumber(std::string_view text) {
  // Like the conversion the version comparisons were made with: leading blanks are
  // skipped, then as much of a decimal number as there is.
  std::string copy(text);
  const char* begin = copy.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (!((*begin >= '0' && *begin <= '9') || *begin == '.' || *begin == '-' || *begin == '+')) return 0;
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  return end == begin ? 0 : value;
}

}  // namespace vd
