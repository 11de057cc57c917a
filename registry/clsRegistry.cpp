#include "registry/clsRegistry.h"

// Placeholder until the hive store exists: every key fails to open.
namespace vd {

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
clsRegistry::~clsRegistry() = default;
bool clsRegistry::CreateDirectory(const std::string&) { return false; }
bool clsRegistry::DeleteValue(const std::string&) { return false; }
bool clsRegistry::CreateValue(const std::string&, const RegItem&, const std::int32_t&, const std::optional<RegItems>&) {
  return false;
}
RegValue clsRegistry::GetValue(const std::string&, bool) { return {}; }
std::int32_t clsRegistry::RegistryRootKey() const { return rootKey_; }
std::string clsRegistry::SubDirectory() const { return subDirectory_; }
std::int16_t clsRegistry::OpenRegistry(std::int32_t, const std::string&) { return 0; }
RegValue clsRegistry::OneBackOnKey() { return {}; }
bool clsRegistry::CloseRegistry() { return false; }
std::int16_t clsRegistry::FindLastBackslash(const std::string&) { return 0; }

}  // namespace vd
