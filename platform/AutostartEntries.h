// The machine's auto-start list, as the registry key
// HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows\CurrentVersion\Run" presents it: the value
// NAME is the desktop entry NAME.desktop in the XDG autostart directory of the machine
// (first entry of $XDG_CONFIG_DIRS + "/autostart", default /etc/xdg/autostart). The user's
// own list ($XDG_CONFIG_HOME/autostart) has the same form; an entry there overrides the
// machine's entry of the same name for that user, and a hidden one switches it off.
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
  // The user's own autostart directory: $XDG_CONFIG_HOME/autostart, default ~/.config/autostart.
  static std::string userDirectory();
  const std::string& directory() const { return directory_; }

  // Result codes as the registry reports them: 0, 2 not found, 5 no rights,
  // 87 a name that cannot be a file name or data that cannot be a command line.
  std::int32_t read(const std::string& name, std::string& data) const;
  std::int32_t write(const std::string& name, const std::string& data);
  std::int32_t remove(const std::string& name);
  // Writes a hidden entry NAME (Hidden=true), which switches off the entry of that name in a
  // list it overrides; it reads as absent itself.
  std::int32_t hide(const std::string& name);
  // True when a file of the entry is there, hidden or not.
  bool has(const std::string& name) const;

  // The desktop-entry Exec= value (before string escaping) for a Windows command line.
  static std::string execValueFor(const std::string& commandLine);

 private:
  // The existing entry for name (names compare without regard to case); "" when none.
  std::string findEntry(const std::string& name) const;
  static bool usableName(const std::string& name);
  std::int32_t writeContent(const std::string& name, const std::string& content);

  std::string directory_;
};

}  // namespace vd
