// The per-user settings store: named text values of the application "Vellumdock",
// section "Options". Reading an absent key yields the caller's default and never
// creates the key; a write is stored at once.
#pragma once

#include <optional>
#include <string>

#include "common/Seam.h"

namespace vd {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or nothing when the key is absent.
  virtual std::optional<std::string> read(const std::string& key) = 0;
  // Throws FileError when the value cannot be stored.
  virtual void write(const std::string& key, const std::string& value) = 0;

  std::string read(const std::string& key, const std::string& fallback) {
    std::optional<std::string> stored = read(key);
    return stored ? *stored : fallback;
  }
};

template <>
SettingsStore& Seam<SettingsStore>::defaultInstance();
inline SettingsStore& settingsStore() { return Seam<SettingsStore>::get(); }

// The INI file that holds the settings: $XDG_CONFIG_HOME/Vellumdock/Vellumdock.conf.
std::string settingsFilePath();

// The settings in one INI file, group [Options]. The file is opened by its explicit path
// on every access, so a change of the environment (or of the file by another process)
// is seen at the next read.
class IniSettingsStore : public SettingsStore {
 public:
  // An empty path means settingsFilePath() at the time of each access.
  explicit IniSettingsStore(std::string filePath = {});
  std::optional<std::string> read(const std::string& key) override;
  void write(const std::string& key, const std::string& value) override;

 private:
  std::string path() const;
  std::string filePath_;
};

}  // namespace vd
