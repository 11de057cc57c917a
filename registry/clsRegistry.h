// One open registry key: read, write and delete its values. One instance per use:
// OpenRegistry, value operations, CloseRegistry. Registry failures are reported through
// the results, never thrown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "registry/RegistryValues.h"

#include "common/RegistryRoots.h"

namespace vd {

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
