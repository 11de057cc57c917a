#include "outside/securitysettings/DistillerSecuritySettings.h"

#include <algorithm>
#include <cstdint>

#include "platform/RegistryHive.h"

namespace vd {
namespace {

constexpr const char* kSecurityKey = "Software\\Vellumdock\\Distiller\\Security";
constexpr const char* kOpenPasswordValue = "OpenPassword";
constexpr const char* kPermissionsPasswordValue = "PermissionsPassword";
constexpr const char* kPermissionsValue = "Permissions";
constexpr const char* kProtectPrintJobsValue = "ProtectPrintJobs";
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegMultiSz = 7;

std::string describe(std::int32_t code) {
  switch (code) {
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_REGISTRY_IO_FAILED: return "the file is damaged or cannot be read or written";
    default: return "error " + std::to_string(code);
  }
}

[[noreturn]] void fail(const std::string& doing, std::int32_t code) {
  throw SecuritySettingsError("Cannot " + doing + " the Distiller's security settings in " +
                              hiveFileOf(HKEY_CURRENT_USER) + ": " + describe(code));
}

// Closes the key however the reading or writing ends.
class OpenSecurityKey {
 public:
  OpenSecurityKey(RegistryHive& registry, RegKeyHandle handle) : registry_(registry), handle_(handle) {}
  ~OpenSecurityKey() { registry_.closeKey(handle_); }
  OpenSecurityKey(const OpenSecurityKey&) = delete;
  OpenSecurityKey& operator=(const OpenSecurityKey&) = delete;
  RegKeyHandle handle() const { return handle_; }

 private:
  RegistryHive& registry_;
  RegKeyHandle handle_;
};

struct StoredValue {
  std::uint32_t type = 0;
  std::string bytes;
};

std::optional<StoredValue> readValue(RegistryHive& registry, RegKeyHandle key, const char* name) {
  StoredValue value;
  std::uint32_t size = 0;
  std::int32_t code = registry.queryValue(key, name, &value.type, nullptr, &size);
  if (code == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (code == ERROR_SUCCESS) {
    value.bytes.resize(size);
    code = registry.queryValue(key, name, &value.type, value.bytes.data(), &size);
    value.bytes.resize(size);
  }
  if (code != ERROR_SUCCESS) fail("read", code);
  return value;
}

// A text value without its terminating NUL. A value of another type is no setting this
// program wrote: reading it as nothing would drop a password, so it is refused.
std::string textOf(const StoredValue& value, const char* name) {
  if (value.type != kRegSz && value.type != kRegExpandSz) {
    throw SecuritySettingsError(std::string("The Distiller's security setting ") + name + " in " +
                                hiveFileOf(HKEY_CURRENT_USER) + " is not a text value");
  }
  std::string text = value.bytes;
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::set<std::string> permissionsOf(const StoredValue& value) {
  if (value.type != kRegMultiSz) return ParsePermissions(textOf(value, kPermissionsValue)).words;
  // A list: each item holds one or more words.
  std::set<std::string> words;
  std::string item;
  for (char c : value.bytes) {
    if (c != '\0') {
      item += c;
      continue;
    }
    words.merge(ParsePermissions(item).words);
    item.clear();
  }
  words.merge(ParsePermissions(item).words);
  return words;
}

ValueChange textChange(const char* name, const std::string& text) {
  if (text.empty()) return ValueChange{name, 0, std::nullopt};
  return ValueChange{name, kRegSz, text + '\0'};
}

void changeAll(const std::vector<ValueChange>& changes) {
  RegistryHive& registry = registryHive();
  RegKeyHandle handle = 0;
  if (const std::int32_t code =
          registry.createKey(rootHandle(HKEY_CURRENT_USER), kSecurityKey, KEY_ALL_ACCESS, handle, nullptr);
      code != ERROR_SUCCESS) {
    fail("store", code);
  }
  const OpenSecurityKey key(registry, handle);
  if (const std::int32_t code = registry.changeValues(key.handle(), changes); code != ERROR_SUCCESS) {
    fail("store", code);
  }
}

}  // namespace

const std::vector<std::string>& PermissionWords() {
  static const std::vector<std::string> words{"print",    "print-low", "copy",       "accessibility",
                                              "assemble", "annotate",  "fill-forms", "modify"};
  return words;
}

ParsedPermissions ParsePermissions(const std::string& text) {
  ParsedPermissions parsed;
  std::string word;
  auto flush = [&] {
    if (word.empty()) return;
    std::string folded = word;
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const auto& known = PermissionWords();
    if (std::find(known.begin(), known.end(), folded) != known.end()) {
      parsed.words.insert(folded);
    } else {
      parsed.unknown.push_back(word);
    }
    word.clear();
  };
  for (char c : text) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t') {
      flush();
    } else {
      word += c;
    }
  }
  flush();
  return parsed;
}

std::string PermissionsText(const std::set<std::string>& words) {
  std::string text;
  for (const std::string& word : PermissionWords()) {
    if (words.count(word) == 0) continue;
    if (!text.empty()) text += ',';
    text += word;
  }
  return text;
}

const std::set<std::string>& DistillerSecuritySettings::defaultPermissions() {
  static const std::set<std::string> defaults{"print", "copy", "accessibility"};
  return defaults;
}

DistillerSecuritySettings DistillerSecuritySettings::read() {
  DistillerSecuritySettings settings;
  RegistryHive& registry = registryHive();
  RegKeyHandle handle = 0;
  const std::int32_t code = registry.openKey(rootHandle(HKEY_CURRENT_USER), kSecurityKey, KEY_QUERY_VALUE, handle);
  if (code == ERROR_FILE_NOT_FOUND) return settings;
  if (code != ERROR_SUCCESS) fail("read", code);
  const OpenSecurityKey key(registry, handle);
  if (const auto open = readValue(registry, key.handle(), kOpenPasswordValue)) {
    settings.openPassword = textOf(*open, kOpenPasswordValue);
  }
  if (const auto owner = readValue(registry, key.handle(), kPermissionsPasswordValue)) {
    settings.permissionsPassword = textOf(*owner, kPermissionsPasswordValue);
  }
  if (const auto permissions = readValue(registry, key.handle(), kPermissionsValue)) {
    settings.permissions = permissionsOf(*permissions);
  }
  if (const auto printJobs = readValue(registry, key.handle(), kProtectPrintJobsValue)) {
    settings.protectPrintJobs = textOf(*printJobs, kProtectPrintJobsValue) == "1";
  }
  return settings;
}

void DistillerSecuritySettings::store() const {
  std::vector<ValueChange> changes{textChange(kOpenPasswordValue, openPassword),
                                   textChange(kPermissionsPasswordValue, permissionsPassword)};
  if (permissions) {
    // An empty list is stored as it is: it allows nothing, unlike a missing value.
    changes.push_back(ValueChange{kPermissionsValue, kRegSz, PermissionsText(*permissions) + '\0'});
  } else {
    changes.push_back(ValueChange{kPermissionsValue, 0, std::nullopt});
  }
  changes.push_back(textChange(kProtectPrintJobsValue, protectPrintJobs ? "1" : ""));
  changeAll(changes);
}

void DistillerSecuritySettings::clear() {
  changeAll({ValueChange{kOpenPasswordValue, 0, std::nullopt}, ValueChange{kPermissionsPasswordValue, 0, std::nullopt},
             ValueChange{kPermissionsValue, 0, std::nullopt}, ValueChange{kProtectPrintJobsValue, 0, std::nullopt}});
}

}  // namespace vd
