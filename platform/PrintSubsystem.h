// The print subsystem: the machine's table of installed printers and the per-user
// profile sections ("PrinterPorts", "windows") that name the default printer. Both
// views are kept consistent: marking a printer default (level-5 attribute 4) rewrites
// the "windows" "Device" entry, and writing "Device" moves the default flag.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Seam.h"

namespace vd {

inline constexpr std::uint32_t PRINTER_ATTRIBUTE_DEFAULT = 4;

struct PrinterRecord {
  std::string name;
  std::string driver;
  std::string port;
  std::uint32_t attributes = 0;
  std::uint32_t deviceNotSelectedTimeout = 15000;
  std::uint32_t transmissionRetryTimeout = 45000;
};

// The level-5 view of one printer.
struct PrinterInfo5 {
  std::string printerName;
  std::string portName;
  std::uint32_t attributes = 0;
  std::uint32_t deviceNotSelectedTimeout = 0;
  std::uint32_t transmissionRetryTimeout = 0;
};

class PrintSubsystem {
 public:
  virtual ~PrintSubsystem() = default;
  // Installed printers' device names, in the system's order.
  virtual std::vector<std::string> installedPrinters() = 0;
  // Adds or replaces a printer; false without the rights to change the machine's table.
  virtual bool installPrinter(const PrinterRecord& printer) = 0;
  // The printer's entry in the table (name as installed, driver, port, time-outs), the
  // default attribute as the user's profile says; nothing when no printer has that name.
  virtual std::optional<PrinterRecord> findPrinter(const std::string& name) = 0;
  virtual std::optional<PrinterInfo5> getPrinter5(const std::string& name) = 0;
  virtual bool setPrinter5(const std::string& name, const PrinterInfo5& info) = 0;
  virtual std::string getProfileString(const std::string& section, const std::string& key,
                                       const std::string& fallback) = 0;
  virtual bool writeProfileString(const std::string& section, const std::string& key, const std::string& value) = 0;
  // The name of the default printer; "" when there is none.
  virtual std::string defaultPrinter() = 0;
  // 1 for the Windows 95 family, 2 for the NT family (what this system reports).
  virtual int platformId() = 0;
};

template <>
PrintSubsystem& Seam<PrintSubsystem>::defaultInstance();
inline PrintSubsystem& printSubsystem() { return Seam<PrintSubsystem>::get(); }

}  // namespace vd
