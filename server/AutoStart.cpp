#include "server/AutoStart.h"

#include "platform/AutostartEntries.h"
#include "registry/clsRegistry.h"

namespace vd {
namespace {

// The machine's entry through the registry, as the old program wrote it. True when the
// registry took the change.
bool changeMachineEntry(bool enabled) {
  clsRegistry registry;
  registry.OpenRegistry(HKEY_LOCAL_MACHINE, kAutoStartKey);
  const bool done = enabled ? registry.CreateValue(kAutoStartValue, RegItem{AutoStartCommand()}, REG_SZ)
                            : registry.DeleteValue(kAutoStartValue);
  registry.CloseRegistry();
  return done;
}

std::optional<std::string> machineEntry() {
  clsRegistry registry;
  registry.OpenRegistry(HKEY_LOCAL_MACHINE, kAutoStartKey);
  const RegValue value = registry.GetValue(kAutoStartValue);
  registry.CloseRegistry();
  if (value.isEmpty()) return std::nullopt;
  return value.asText();
}

std::string cannotWrite(const std::string& folder) { return folder + " cannot be written"; }

}  // namespace

std::string AutoStartCommand() { return "\"C:\\Program Files\\Vellumdock\\vellumdk.exe\" m"; }

std::string UpdateAutoStartEntry(bool enabled) {
  AutostartEntries user(AutostartEntries::userDirectory());
  const std::string machineFolder = AutostartEntries::machineDirectory();
  if (enabled) {
    if (changeMachineEntry(true)) {
      if (user.has(kAutoStartValue) && user.remove(kAutoStartValue) != 0) {
        return "The auto-start entry was written to " + machineFolder + ", but the older one in " + user.directory() +
               ", which takes its place, cannot be removed.";
      }
      return "";
    }
    if (user.write(kAutoStartValue, AutoStartCommand()) == 0) return "";
    return "The auto-start entry cannot be written: " + cannotWrite(machineFolder) + ", and " +
           cannotWrite(user.directory()) + ".";
  }
  changeMachineEntry(false);
  if (machineEntry()) {
    // Left in the machine's list by an administrator: off for this user only.
    if (user.hide(kAutoStartValue) == 0) return "";
    return "The auto-start entry in " + machineFolder + " cannot be removed, and " + cannotWrite(user.directory()) +
           " to switch it off.";
  }
  if (user.has(kAutoStartValue) && user.remove(kAutoStartValue) != 0) {
    return "The auto-start entry in " + user.directory() + " cannot be removed.";
  }
  return "";
}

std::optional<std::string> AutoStartEntryInForce() {
  const AutostartEntries user(AutostartEntries::userDirectory());
  if (user.has(kAutoStartValue)) {
    std::string data;
    if (user.read(kAutoStartValue, data) != 0) return std::nullopt;
    return data;
  }
  return machineEntry();
}

}  // namespace vd
