// Where the program's files and state live. Every location can be redirected by an
// environment variable, so that anyone can run a fully isolated instance by pointing
// HOME, the XDG variables and VELLUMDOCK_MACHINE_DIR at a scratch directory.
#pragma once

#include <string>

namespace vd {

// The folder of the running executable, links resolved: <prefix>/lib/vellumdock.
// VELLUMDOCK_PROGRAM_DIR overrides it (tests that run from the build tree).
std::string programDir();
// The helper folder, the counterpart of the system directory (special folder 37):
// <prefix>/libexec/vellumdock, found from programDir(); VELLUMDOCK_HELPER_DIR overrides it.
std::string helperDir();
// Machine-wide state (the HKEY_LOCAL_MACHINE hive, the installed printers):
// VELLUMDOCK_MACHINE_DIR, else /var/lib/vellumdock.
std::string machineDir();
// Per-user state: $XDG_DATA_HOME/Vellumdock (default ~/.local/share/Vellumdock).
std::string userDataDir();
// Per-user settings: $XDG_CONFIG_HOME/Vellumdock (default ~/.config/Vellumdock).
std::string userConfigDir();
// Per-user state that outlives a run (the window's log file): $XDG_STATE_HOME/Vellumdock
// (default ~/.local/state/Vellumdock).
std::string userStateDir();
// Per-user runtime state (the window table): $XDG_RUNTIME_DIR/vellumdock, else a private
// 0700 directory /tmp/vellumdock-<uid> whose ownership is checked. Created on demand.
std::string userRuntimeDir();
// The operator's default working folder ~/Vellumdock, created on demand.
std::string defaultWorkDir();
// The user's home directory ($HOME, else the password database).
std::string homeDir();

// Makes the folders that VELLUMDOCK_MACHINE_DIR, VELLUMDOCK_PROGRAM_DIR and
// VELLUMDOCK_HELPER_DIR name absolute, against the current folder. Each program calls it
// once at start, before anything reads them, so that what it says and what its helpers
// inherit name the same folders wherever those run.
void makeLocationVariablesAbsolute();

// Creates a directory and its parents with the given mode; true when it exists afterwards.
bool ensureDirectory(const std::string& path, unsigned mode = 0755);

}  // namespace vd
