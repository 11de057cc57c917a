// One open registry key: read, write and delete its values. One instance per use:
// OpenRegistry, value operations, CloseRegistry. Registry failures are reported through
// the results, never thrown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/RegistryRoots.h"

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

class clsRegistry {
 public:
  clsRegistry();
  ~clsRegistry();
  clsRegistry(const clsRegistry&) = delete;
  clsRegistry& operator=(const clsRegistry&) = delete;

  bool CreateDirectory(const std::string& sNewDirName);
  bool DeleteValue(const std::string& sValueName);
  // Throws std::invalid_argument (type mismatch) or std::out_of_range (overflow) for a
  // REG_DWORD whose value cannot be a 32-bit integer; nothing is written then.
  bool CreateValue(const std::string& sValueName, const RegItem& vWriteThis, const std::int32_t& ldValueDataType,
                   const std::optional<RegItems>& Multi_SZ_AddtlStrings = std::nullopt);
  RegValue GetValue(const std::string& VarName, bool ReturnBinStr = false);
  std::int32_t RegistryRootKey() const;
  std::string SubDirectory() const;
  // -1 on success, 0 on failure.
  std::int16_t OpenRegistry(std::int32_t RtHKey, const std::string& SbDr);
  // Throws std::invalid_argument when the path has no "\".
  RegValue OneBackOnKey();
  bool CloseRegistry();

 private:
  static std::int16_t FindLastBackslash(const std::string& text);

  std::int32_t rootKey_ = 0;
  std::string subDirectory_;
  std::uint64_t keyHandle_ = 0;
  bool open_ = false;
};

}  // namespace vd
