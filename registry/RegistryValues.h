// The values of the registry as bytes and as what callers see: the type codes, the
// encoding of what CreateValue writes, and the decoding of the bytes a hive holds, which
// another program (or a damaged hive) may have written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vd {

// Value type codes.
inline constexpr std::int32_t REG_NONE = 0;
inline constexpr std::int32_t REG_SZ = 1;
inline constexpr std::int32_t REG_EXPAND_SZ = 2;
inline constexpr std::int32_t REG_BINARY = 3;
inline constexpr std::int32_t REG_DWORD = 4;
inline constexpr std::int32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr std::int32_t REG_LINK = 6;
inline constexpr std::int32_t REG_MULTI_SZ = 7;

// A value handed to CreateValue: nothing (null), a text or a number.
using RegItem = std::variant<std::monostate, std::string, std::int64_t, double>;
// The optional additional strings of a REG_MULTI_SZ: one item or an array of items.
using RegItems = std::variant<RegItem, std::vector<RegItem>>;

// What GetValue returns: nothing, a text, or a list of texts indexed from 0.
class RegValue {
 public:
  enum class Kind { Empty, Text, List };
  RegValue() = default;
  static RegValue text(std::string value);
  static RegValue list(std::vector<std::string> values);
  Kind kind() const { return kind_; }
  bool isEmpty() const { return kind_ == Kind::Empty; }
  // The text; "" for the empty value; a list's elements are not joined.
  const std::string& asText() const { return text_; }
  const std::vector<std::string>& asList() const { return list_; }

 private:
  Kind kind_ = Kind::Empty;
  std::string text_;
  std::vector<std::string> list_;
};

// The bytes CreateValue stores for an item of the given type (REG_SZ, REG_EXPAND_SZ,
// REG_DWORD, REG_MULTI_SZ); nothing for other types. Throws std::invalid_argument or
// std::out_of_range for a REG_DWORD item that cannot be a 32-bit integer.
std::optional<std::string> EncodeRegistryValue(const RegItem& item, std::int32_t type,
                                               const std::optional<RegItems>& additionalStrings = std::nullopt);
// What GetValue answers for a value of the given type with the given bytes: a text or a
// list; "" for bytes that do not fit their type. With returnBinStr, binary values come
// as their bytes, otherwise as a hex dump.
RegValue DecodeRegistryValue(std::uint32_t type, const std::string& data, bool returnBinStr);

}  // namespace vd
