#include "registry/clsRegistry.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "platform/MessageBoxes.h"
#include "platform/RegistryHive.h"

namespace vd {
namespace {

// READ_CONTROL, KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS.
constexpr std::uint32_t kOpenAccess = 0x2000F;
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

clsRegistry::clsRegistry() = default;

clsRegistry::~clsRegistry() {
  if (open_) registryHive().closeKey(keyHandle_);
}

bool clsRegistry::CreateDirectory(const std::string& sNewDirName) {
  if (!open_) return false;
  RegistryHive& registry = registryHive();
  RegKeyHandle created = 0;
  std::uint32_t disposition = 0;
  const std::int32_t code = registry.createKey(keyHandle_, sNewDirName, KEY_ALL_ACCESS, created, &disposition);
  if (code == ERROR_SUCCESS) registry.closeKey(created);
  return code == ERROR_SUCCESS;
}

bool clsRegistry::DeleteValue(const std::string& sValueName) {
  if (!open_) return false;
  return registryHive().deleteValue(keyHandle_, sValueName) == ERROR_SUCCESS;
}

bool clsRegistry::CreateValue(const std::string& sValueName, const RegItem& vWriteThis,
                              const std::int32_t& ldValueDataType, const std::optional<RegItems>& Multi_SZ_AddtlStrings) {
  if (!open_) return false;
  std::string data;
  switch (ldValueDataType) {
    case REG_SZ:
    case REG_EXPAND_SZ: data = textOf(vWriteThis) + '\0'; break;
    case REG_DWORD: {
      const auto pattern = static_cast<std::uint32_t>(toInt32(vWriteThis));
      for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((pattern >> shift) & 0xFF);
      break;
    }
    case REG_MULTI_SZ: data = multiStringData(vWriteThis, Multi_SZ_AddtlStrings); break;
    default:
      messageBoxes().show("Unable to process that Type of data.", "Vellumdock", MessageIcon::None);
      return false;
  }
  return registryHive().setValue(keyHandle_, sValueName, static_cast<std::uint32_t>(ldValueDataType), data) ==
         ERROR_SUCCESS;
}

RegValue clsRegistry::GetValue(const std::string& VarName, bool ReturnBinStr) {
  if (!open_) return {};
  RegistryHive& registry = registryHive();
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  const std::int32_t code = registry.queryValue(keyHandle_, VarName, &type, nullptr, &size);
  if (code == ERROR_FILE_NOT_FOUND) return {};
  if (code == ERROR_ACCESS_DENIED) return RegValue::text("Access Denied");
  if (code != ERROR_SUCCESS) return RegValue::text("RegQueryValueEx Returned : (" + std::to_string(code) + ")");
  std::string buffer(size, '\0');
  // The value may have changed between the two calls; what was read is decoded as it is.
  std::uint32_t filled = size;
  registry.queryValue(keyHandle_, VarName, &type, buffer.data(), &filled);
  if (filled < size) buffer.resize(filled);
  try {
    return decode(type, buffer, ReturnBinStr);
  } catch (const DecodeError&) {
    return RegValue::text("");
  }
}

std::int32_t clsRegistry::RegistryRootKey() const { return rootKey_; }

std::string clsRegistry::SubDirectory() const { return subDirectory_; }

std::int16_t clsRegistry::OpenRegistry(std::int32_t RtHKey, const std::string& SbDr) {
  if (RtHKey == 0) {
    if (open_) registryHive().closeKey(keyHandle_);
    open_ = false;
    keyHandle_ = 0;
    return 0;
  }
  rootKey_ = RtHKey;
  subDirectory_ = SbDr;
  if (open_) {
    CloseRegistry();
    open_ = false;
  }
  RegKeyHandle handle = 0;
  if (registryHive().openKey(rootHandle(rootKey_), subDirectory_, kOpenAccess, handle) != ERROR_SUCCESS) {
    open_ = false;
    return 0;
  }
  keyHandle_ = handle;
  open_ = true;
  return -1;
}

RegValue clsRegistry::OneBackOnKey() {
  const std::int16_t position = FindLastBackslash(subDirectory_);
  if (position == 0) throw std::invalid_argument("OneBackOnKey: the key path \"" + subDirectory_ + "\" has no parent");
  subDirectory_ = subDirectory_.substr(0, static_cast<std::size_t>(position - 1));
  CloseRegistry();
  OpenRegistry(rootKey_, subDirectory_);
  return {};
}

bool clsRegistry::CloseRegistry() {
  if (!open_) return false;
  if (registryHive().closeKey(keyHandle_) != ERROR_SUCCESS) return false;
  open_ = false;
  keyHandle_ = 0;
  return true;
}

std::int16_t clsRegistry::FindLastBackslash(const std::string& text) {
  const auto position = text.find_last_of('\\');
  if (position == std::string::npos) return 0;
  if (position + 1 > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw std::out_of_range("key path longer than 32767 characters");
  }
  return static_cast<std::int16_t>(position + 1);
}

}  // namespace vd
