#include "MachineSetup.h"

#include <cstdint>
#include <optional>

#include "common/Locations.h"
#include "platform/HiveStorage.h"
#include "platform/PrintSubsystem.h"
#include "platform/RegistryHive.h"

namespace vd {
namespace {

constexpr std::uint32_t kRegSz = 1;

std::string describeCode(std::int32_t code) {
  switch (code) {
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_REGISTRY_IO_FAILED: return "the hive file cannot be read or written";
    default: return "error " + std::to_string(code);
  }
}

// The current default value of a key as text, if it is a REG_SZ.
std::optional<std::string> currentDefaultText(RegistryHive& registry, RegKeyHandle key) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (registry.queryValue(key, "", &type, nullptr, &size) != ERROR_SUCCESS || type != kRegSz) return std::nullopt;
  std::string bytes(size, '\0');
  if (registry.queryValue(key, "", &type, bytes.data(), &size) != ERROR_SUCCESS) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

}  // namespace

int MachineSetup::run(std::ostream& out, std::ostream& errors) {
  const std::string machine = machineDir();
  if (!hive::directoryWritable(machine) || !ensureDirectory(machine, 0755)) {
    errors << "vellumdk-setup: cannot write the machine-wide state in " << machine
           << " (run it as an administrator, or point VELLUMDOCK_MACHINE_DIR at a directory you may write)\n";
    return 1;
  }
  out << "Machine-wide state: " << machine << "\n";
  bool complete = installPrinter(kPrinterName, kDriverName, kPortName, out, errors);
  complete = installPrinter(kWriterPrinterName, kWriterDriverName, kWriterPortName, out, errors) && complete;
  complete = registerDefaultValue(kAcrobatVersionKey, kAcrobatVersion, out, errors) && complete;
  complete = registerDefaultValue(kDistillerPrinterKey, kPrinterName, out, errors) && complete;
  out << (complete ? "Set-up complete.\n" : "Set-up incomplete.\n");
  return complete ? 0 : 1;
}

bool MachineSetup::installPrinter(const std::string& name, const std::string& driver, const std::string& port,
                                  std::ostream& out, std::ostream& errors) {
  PrintSubsystem& printers = printSubsystem();
  const auto present = printers.getPrinter5(name);
  const std::string expectedPorts = driver + "," + port + ",";
  const std::string ports = printers.getProfileString("PrinterPorts", name, "");
  if (present && present->printerName == name && ports.rfind(expectedPorts, 0) == 0) {
    out << "Printer \"" << name << "\" is already installed.\n";
    return true;
  }
  PrinterRecord printer;
  printer.name = name;
  printer.driver = driver;
  printer.port = port;
  if (present) {
    // Keep what an administrator set on the existing printer; only driver and port are ours.
    printer.attributes = present->attributes & ~PRINTER_ATTRIBUTE_DEFAULT;
    printer.deviceNotSelectedTimeout = present->deviceNotSelectedTimeout;
    printer.transmissionRetryTimeout = present->transmissionRetryTimeout;
  }
  if (!printers.installPrinter(printer)) {
    errors << "vellumdk-setup: cannot install the printer \"" << name << "\" in " << machineDir() << "\n";
    return false;
  }
  out << "Installed printer \"" << name << "\" (driver \"" << driver << "\", port \"" << port
      << "\").\n";
  return true;
}

bool MachineSetup::registerDefaultValue(const std::string& key, const std::string& text, std::ostream& out,
                                        std::ostream& errors) {
  RegistryHive& registry = registryHive();
  const std::string where = "HKEY_LOCAL_MACHINE\\" + key;
  RegKeyHandle handle = 0;
  if (registry.openKey(rootHandle(HKEY_LOCAL_MACHINE), key, KEY_QUERY_VALUE, handle) == ERROR_SUCCESS) {
    const auto current = currentDefaultText(registry, handle);
    registry.closeKey(handle);
    if (current == text + '\0') {
      out << where << " is already \"" << text << "\".\n";
      return true;
    }
  }
  std::uint32_t disposition = 0;
  if (const std::int32_t code = registry.createKey(rootHandle(HKEY_LOCAL_MACHINE), key, KEY_ALL_ACCESS, handle, &disposition);
      code != ERROR_SUCCESS) {
    errors << "vellumdk-setup: cannot create " << where << ": " << describeCode(code) << "\n";
    return false;
  }
  const std::int32_t code = registry.setValue(handle, "", kRegSz, text + '\0');
  registry.closeKey(handle);
  if (code != ERROR_SUCCESS) {
    errors << "vellumdk-setup: cannot write " << where << ": " << describeCode(code) << "\n";
    return false;
  }
  out << where << " := \"" << text << "\"\n";
  return true;
}

}  // namespace vd
