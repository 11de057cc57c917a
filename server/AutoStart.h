// The auto-start entry: the value "Vellumdock" under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Run", which starts the installed program at
// log-on with the argument "m".
#pragma once

#include <string>

namespace vd {

inline constexpr const char* kAutoStartKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kAutoStartValue = "Vellumdock";

// The entry's data: the installer's fixed program path in double quotes, then " m". The
// machine's auto-start list starts the program installed here for that path.
std::string AutoStartCommand();

// Writes (enabled) or deletes the entry. Registry results are not reported: without the
// rights to the machine's key nothing changes and nothing is said.
void UpdateAutoStartEntry(bool enabled);

}  // namespace vd
