#include "converters/EngineObject.h"

#include "platform/PrintSubsystem.h"
#include "platform/WindowTable.h"

namespace vd {
namespace {

constexpr int kWindows95Family = 1;

void SetDefaultPrinterByAttribute(const std::string& strPrinter) {
  if (strPrinter.empty()) return;
  PrintSubsystem& printers = printSubsystem();
  const auto current = printers.getPrinter5(strPrinter);
  if (!current) return;
  PrinterInfo5 info;
  info.printerName = current->printerName;
  info.portName = current->portName;
  info.deviceNotSelectedTimeout = current->deviceNotSelectedTimeout;
  info.transmissionRetryTimeout = current->transmissionRetryTimeout;
  // The old attribute bits are replaced, not combined with the default flag.
  info.attributes = PRINTER_ATTRIBUTE_DEFAULT;
  printers.setPrinter5(strPrinter, info);
}

struct PrinterPortsEntry {
  std::string driver;
  std::string port;
};

// "driver,port,timeout,timeout": the driver before the first comma, the port up to the
// second; without a second comma there is no port.
PrinterPortsEntry GetPrinterPortsEntry(const std::string& value) {
  PrinterPortsEntry entry;
  const auto first = value.find(',');
  if (first == std::string::npos) return entry;
  entry.driver = value.substr(0, first);
  const auto second = value.find(',', first + 1);
  if (second == std::string::npos) return entry;
  entry.port = value.substr(first + 1, second - first - 1);
  return entry;
}

void SetDefaultPrinterByProfile(const std::string& strPrinter) {
  PrintSubsystem& printers = printSubsystem();
  const PrinterPortsEntry entry = GetPrinterPortsEntry(printers.getProfileString("PrinterPorts", strPrinter, ""));
  if (entry.driver.empty() || entry.port.empty()) return;
  printers.writeProfileString("windows", "Device", strPrinter + "," + entry.driver + "," + entry.port);
  windowTable().sendMessage(HWND_BROADCAST, WM_WININICHANGE, 0, "windows");
}

}  // namespace

void EngineObject::SetDefPrinter(std::string strPrinter) {
  if (printSubsystem().platformId() == kWindows95Family) {
    SetDefaultPrinterByAttribute(strPrinter);
  } else {
    SetDefaultPrinterByProfile(strPrinter);
  }
}

void EngineObject::restoreDefaultPrinter(const std::string& savedPrinter) {
  // Setting the default to no printer changes nothing, so a user who had none would be left
  // with the PDF printer as the default of every program: the entry is cleared instead.
  if (savedPrinter.empty()) {
    printSubsystem().writeProfileString("windows", "Device", "");
  } else {
    SetDefPrinter(savedPrinter);
  }
}

}  // namespace vd
