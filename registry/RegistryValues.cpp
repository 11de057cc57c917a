#include "registry/RegistryValues.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace vd {
namespace {

constexpr std::int32_t kLongestBinaryValue = 32767;

std::string numberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<std::int64_t>(value));
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

// The text of an item, as string concatenation would render it; null renders as "".
std::string textOf(const RegItem& item) {
  if (const auto* text = std::get_if<std::string>(&item)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&item)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&item)) return numberText(*real);
  return "";
}

std::int32_t roundedToInt32(double value) {
  if (!std::isfinite(value)) throw std::out_of_range("REG_DWORD value out of range");
  // Halves go to the even neighbour, as the 32-bit conversion of the language does.
  const int previousMode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(value);
  std::fesetround(previousMode);
  if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    throw std::out_of_range("REG_DWORD value out of range: " + numberText(value));
  }
  return static_cast<std::int32_t>(rounded);
}

std::int32_t parseInt32(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) throw std::invalid_argument("REG_DWORD value is not a number: \"" + text + "\"");
  const std::string trimmed = text.substr(begin, end - begin + 1);
  // &H and &O prefixes: hexadecimal and octal numbers, 32-bit patterns.
  if (trimmed.size() > 2 && trimmed[0] == '&' && (trimmed[1] == 'H' || trimmed[1] == 'h' || trimmed[1] == 'O' || trimmed[1] == 'o')) {
    const int base = (trimmed[1] == 'H' || trimmed[1] == 'h') ? 16 : 8;
    char* stop = nullptr;
    errno = 0;
    const unsigned long long pattern = std::strtoull(trimmed.c_str() + 2, &stop, base);
    if (*stop != '\0' || trimmed[2] == '-' || trimmed[2] == '+') {
      throw std::invalid_argument("REG_DWORD value is not a number: \"" + text + "\"");
    }
    if (errno == ERANGE || pattern > 0xFFFFFFFFull) throw std::out_of_range("REG_DWORD value out of range: " + text);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pattern));
  }
  char* stop = nullptr;
  const double value = std::strtod(trimmed.c_str(), &stop);
  const bool hexOrSpecial = trimmed.find_first_of("xXnNiI") != std::string::npos;
  if (stop == trimmed.c_str() || *stop != '\0' || hexOrSpecial) {
    throw std::invalid_argument("REG_DWORD value is not a number: \"" + text + "\"");
  }
  return roundedToInt32(value);
}

std::int32_t toInt32(const RegItem& item) {
  if (const auto* number = std::get_if<std::int64_t>(&item)) {
    if (*number < std::numeric_limits<std::int32_t>::min() || *number > std::numeric_limits<std::int32_t>::max()) {
      throw std::out_of_range("REG_DWORD value out of range: " + std::to_string(*number));
    }
    return static_cast<std::int32_t>(*number);
  }
  if (const auto* real = std::get_if<double>(&item)) return roundedToInt32(*real);
  if (const auto* text = std::get_if<std::string>(&item)) return parseInt32(*text);
  throw std::invalid_argument("REG_DWORD value is null");
}

bool isSkippedListItem(const RegItem& item) {
  if (std::holds_alternative<std::monostate>(item)) return true;
  const std::string text = textOf(item);
  return text.empty() || text == std::string(1, '\0');
}

std::string multiStringData(const RegItem& first, const std::optional<RegItems>& additional) {
  std::string data = textOf(first) + '\0';
  if (additional) {
    auto append = [&data](const RegItem& item) {
      if (!isSkippedListItem(item)) data += textOf(item) + '\0';
    };
    if (const auto* items = std::get_if<std::vector<RegItem>>(&*additional)) {
      for (const RegItem& item : *items) append(item);
    } else {
      append(std::get<RegItem>(*additional));
    }
  }
  return data + '\0';
}

std::string hexDump(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string dump;
  dump.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    dump += digits[byte >> 4];
    dump += digits[byte & 0x0F];
    dump += ' ';
  }
  return dump;
}

// A failure while decoding what was read; GetValue answers it with "".
struct DecodeError {};

std::vector<std::string> splitMultiString(const std::string& data) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < data.size()) {
    const auto zero = data.find('\0', start);
    if (zero == std::string::npos) throw DecodeError{};
    items.push_back(data.substr(start, zero - start));
    start = zero + 1;
  }
  return items;
}

RegValue decode(std::uint32_t type, const std::string& data, bool returnBinStr) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      if (data.empty()) throw DecodeError{};
      return RegValue::text(data.substr(0, data.size() - 1));
    case REG_BINARY:
    case REG_DWORD:
      if (type == REG_BINARY && data.size() > static_cast<std::size_t>(kLongestBinaryValue)) throw DecodeError{};
      return RegValue::text(returnBinStr ? data : hexDump(data));
    case REG_DWORD_BIG_ENDIAN: return RegValue::text(data);
    case REG_MULTI_SZ: return RegValue::list(splitMultiString(data));
    case REG_NONE: return RegValue::text("Not defined value_type=REG_NONE");
    case REG_LINK: return RegValue::text("Not defined value_type=REG_LINK");
    case 8: return RegValue::text("Not defined value_type=REG_RESOURCE_LIST");
    case 9: return RegValue::text("Not defined value_type=REG_FULL_RESOURCE_DESCRIPTOR");
    case 10: return RegValue::text("Not defined value_type=REG_RESOURCE_REQUIREMENTS_LIST");
    default: return RegValue::text("value_type=" + std::to_string(type));
  }
}

}  // namespace

RegValue RegValue::text(std::string value) {
  RegValue result;
  result.kind_ = Kind::Text;
  result.text_ = std::move(value);
  return result;
}

RegValue RegValue::list(std::vector<std::string> values) {
  RegValue result;
  result.kind_ = Kind::List;
  result.list_ = std::move(values);
  return result;
}

std::optional<std::string> EncodeRegistryValue(const RegItem& item, std::int32_t type,
                                               const std::optional<RegItems>& additionalStrings) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return textOf(item) + '\0';
    case REG_DWORD: {
      const auto pattern = static_cast<std::uint32_t>(toInt32(item));
      std::string data;
      for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((pattern >> shift) & 0xFF);
      return data;
    }
    case REG_MULTI_SZ: return multiStringData(item, additionalStrings);
    default: return std::nullopt;
  }
}

RegValue DecodeRegistryValue(std::uint32_t type, const std::string& data, bool returnBinStr) {
  try {
    return decode(type, data, returnBinStr);
  } catch (const DecodeError&) {
    return RegValue::text("");
  }
}

}  // namespace vd
