#include "server/AutoStart.h"

#include "registry/clsRegistry.h"

#ifndef VD_INSTALLED_PROGRAM
#define VD_INSTALLED_PROGRAM "/usr/local/lib/vellumdock/vellumdk"
#endif

namespace vd {

std::string AutoStartCommand() { return std::string("\"") + VD_INSTALLED_PROGRAM + "\" m"; }

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
