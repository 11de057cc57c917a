// The registry's value decoding: the first byte picks a type code, the rest are the
// value's bytes as a hive (written by anyone, or damaged) may hold them. Then the values
// CreateValue writes, made from the same bytes, must read back as they were written.
#include "fuzz/FuzzTargets.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "registry/RegistryValues.h"

namespace vd::fuzz {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

int FuzzRegistryValues(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Type codes 0 to 11: every known type and a few unknown ones.
  const auto type = static_cast<std::uint32_t>(data[0] % 12);
  const std::string bytes = BytesOf(data + 1, size - 1);
  for (const bool binaryAsBytes : {false, true}) {
    const RegValue value = DecodeRegistryValue(type, bytes, binaryAsBytes);
    Require(!value.isEmpty(), "a value that exists never reads as empty");
    if (value.kind() == RegValue::Kind::List) Require(type == REG_MULTI_SZ, "only REG_MULTI_SZ reads as a list");
  }

  const bool holdsZero = bytes.find('\0') != std::string::npos;
  if (!holdsZero) {
    const std::optional<std::string> stored = EncodeRegistryValue(RegItem(bytes), REG_SZ);
    Require(stored.has_value(), "REG_SZ is written");
    const RegValue back = DecodeRegistryValue(REG_SZ, *stored, false);
    Require(back.kind() == RegValue::Kind::Text && back.asText() == bytes, "REG_SZ reads back as written");

    std::vector<RegItem> additional;
    const std::vector<std::string> items = linesOf(bytes);
    for (std::size_t i = 1; i < items.size(); ++i) additional.emplace_back(items[i]);
    const std::optional<std::string> multi = EncodeRegistryValue(RegItem(items[0]), REG_MULTI_SZ, RegItems(additional));
    const RegValue list = DecodeRegistryValue(REG_MULTI_SZ, multi.value(), false);
    Require(list.kind() == RegValue::Kind::List, "REG_MULTI_SZ reads back as a list");
    // The first string always; the others unless empty, which a list cannot hold.
    std::vector<std::string> expected{items[0]};
    for (std::size_t i = 1; i < items.size(); ++i) {
      if (!items[i].empty()) expected.push_back(items[i]);
    }
    Require(list.asList().size() >= expected.size() &&
                std::equal(expected.begin(), expected.end(), list.asList().begin()),
            "REG_MULTI_SZ reads back as written");
  }

  try {
    const std::optional<std::string> dword = EncodeRegistryValue(RegItem(bytes), REG_DWORD);
    Require(dword.has_value() && dword->size() == 4, "a REG_DWORD is four bytes");
    const RegValue back = DecodeRegistryValue(REG_DWORD, *dword, true);
    Require(back.asText() == *dword, "a REG_DWORD reads back as written");
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  return 0;
}

}  // namespace vd::fuzz
