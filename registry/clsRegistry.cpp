#include "registry/clsRegistry.h"

#include <limits>
#include <stdexcept>

#include "platform/MessageBoxes.h"
#include "platform/RegistryHive.h"

namespace vd {
namespace {

// READ_CONTROL, KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS.
constexpr std::uint32_t kOpenAccess = 0x2000F;

}  // namespace

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
  const std::optional<std::string> data = EncodeRegistryValue(vWriteThis, ldValueDataType, Multi_SZ_AddtlStrings);
  if (!data) {
    messageBoxes().show("Unable to process that Type of data.", "Vellumdock", MessageIcon::None);
    return false;
  }
  return registryHive().setValue(keyHandle_, sValueName, static_cast<std::uint32_t>(ldValueDataType), *data) ==
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
  return DecodeRegistryValue(type, buffer, ReturnBinStr);
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
