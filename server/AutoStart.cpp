#include "server/AutoStart.h"

#include "registry/clsRegistry.h"

namespace vd {

std::string AutoStartCommand() { return "\"C:\\Program Files\\Vellumdock\\vellumdk.exe\" m"; }

void UpdateAutoStartEntry(bool enabled) {
  clsRegistry registry;
  registry.OpenRegistry(HKEY_LOCAL_MACHINE, kAutoStartKey);
  if (enabled) {
    registry.CreateValue(kAutoStartValue, RegItem{AutoStartCommand()}, REG_SZ);
  } else {
    registry.DeleteValue(kAutoStartValue);
  }
  registry.CloseRegistry();
}

}  // namespace vd
