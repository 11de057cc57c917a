// The auto-start entry: the value "Vellumdock" under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Run", which starts the installed program at
// log-on with the argument "m". A user who may not write the machine's list gets the
// entry in the user's own list instead.
#pragma once

#include <optional>
#include <string>

namespace vd {

inline constexpr const char* kAutoStartKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kAutoStartValue = "Vellumdock";

// The entry's data: the installer's fixed program path in double quotes, then " m". The
// machine's auto-start list starts the program installed here for that path.
std::string AutoStartCommand();

// Writes (enabled) or removes the entry, and returns "" or a sentence for the operator
// saying what could not be done.
//
// Writing goes to the machine's list; when that is refused, to the user's own list. An
// entry of the user's own overrides the machine's, so one left from before goes once the
// machine's is written. Removing takes the entry out of both; a machine entry the user may
// not remove is switched off for this user by a hidden entry in the user's list.
std::string UpdateAutoStartEntry(bool enabled);

// The entry in force at this user's log-on, wherever it is: the user's own list first (a
// hidden entry there means none), then the machine's. Nothing when there is none.
std::optional<std::string> AutoStartEntryInForce();

}  // namespace vd
