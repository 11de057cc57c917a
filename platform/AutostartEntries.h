// The machine's auto-start list, as the registry key
// HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows\CurrentVersion\Run" presents it: the value
// NAME is the desktop entry NAME.desktop in the XDG autostart directory of the machine
// (first entry of $XDG_CONFIG_DIRS + "/autostart", default /etc/xdg/autostart).
//
// The value's data is a Windows-style command line. The entry's Exec= line holds the same
// program and arguments quoted as desktop-entry parsers expect, and X-Vellumdock-Data= the
// data exactly as written, so that reading gives back what was stored. Entries written by
// others (no X-Vellumdock-Data) read as their Exec= text.
#pragma once

#include <cstdint>
#include <string>

namespace vd {

class AutostartEntries {
 public:
  explicit AutostartEntries(std::string directory);
  // The machine's autostart directory from the environment.
  static std::string machineDirectory();
  const std::string& directory() const { return directory_; }

  // Result codes as the registry reports them: 0, 2 not found, 5 no rights,
  // 87 a name that cannot be a file name or data that cannot be a command line.
  std::int32_t read(const std::string& name, std::string& data) const;
  std::int32_t write(const std::string& name, const std::string& data);
  std::int32_t remove(const std::string& name);

  // The desktop-entry Exec= value (before string escaping) for a Windows command line.
  static std::string execValueFor(const std::string& commandLine);

 private:
  // The existing entry for name (names compare without regard to case); "" when none.
  std::string findEntry(const std::string& name) const;
  static bool usableName(const std::string& name);

  std::string directory_;
};

}  // namespace vd
