// Storage of the print subsystem:
//
// - The machine's printer table: machineDir()/printers.sqlite, table printers (seq gives
//   the system's order; folded name for lookups; name, driver, port, attributes without
//   the default bit, the two time-outs in milliseconds). Changing it needs the rights to
//   write the machine directory (mode bits and ownership, root included, as for the
//   machine hive); without them the change returns false.
// - The user's profile (the WIN.INI view) lives in the user's registry hive, as on the NT
//   family: section "windows" in HKEY_CURRENT_USER
//   "Software\Microsoft\Windows NT\CurrentVersion\Windows", any other section under
//   "...\CurrentVersion\Profile\<section>". Section "PrinterPorts" is not stored: it is
//   read from the printer table ("driver,port,15,45", time-outs in seconds).
// - The default printer is a setting of the user: the first field of "windows" "Device".
//   Level-5 attribute 4 (PRINTER_ATTRIBUTE_DEFAULT) is read from and written to that
//   entry, so the two views cannot disagree.
#include "PrintSubsystem.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/Errors.h"
#include "common/Environment.h"
#include "common/Locations.h"
#include "common/Paths.h"
#include "platform/HiveStorage.h"
#include "platform/RegistryHive.h"

namespace vd {
namespace {

using hive::SqliteFile;

constexpr const char* kWindowsSection = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kProfilePrefix = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Profile\\";

bool sameName(const std::string& a, const std::string& b) { return hive::foldCase(a) == hive::foldCase(b); }

class PrinterTable {
 public:
  std::vector<PrinterRecord> all() const {
    std::vector<PrinterRecord> printers;
    auto file = openForReading();
    if (!file) return printers;
    auto query = file->prepare(
        "SELECT name, driver, port, attributes, not_selected_ms, retry_ms FROM printers ORDER BY seq");
    while (query.step()) printers.push_back(recordFrom(query));
    return printers;
  }

  std::optional<PrinterRecord> find(const std::string& name) const {
    auto file = openForReading();
    if (!file) return std::nullopt;
    auto query = file->prepare(
        "SELECT name, driver, port, attributes, not_selected_ms, retry_ms FROM printers WHERE folded = ?");
    query.bindText(1, hive::foldCase(name));
    if (!query.step()) return std::nullopt;
    return recordFrom(query);
  }

  // Adds the printer at the end of the order, or replaces the one of that name in place.
  bool store(const PrinterRecord& printer) {
    if (!hive::fileWritable(path())) return false;
    try {
      auto file = openForWriting();
      auto upsert = file->prepare(
          "INSERT INTO printers(folded, name, driver, port, attributes, not_selected_ms, retry_ms) "
          "VALUES(?, ?, ?, ?, ?, ?, ?) ON CONFLICT(folded) DO UPDATE SET name = excluded.name, "
          "driver = excluded.driver, port = excluded.port, attributes = excluded.attributes, "
          "not_selected_ms = excluded.not_selected_ms, retry_ms = excluded.retry_ms");
      upsert.bindText(1, hive::foldCase(printer.name)).bindText(2, printer.name).bindText(3, printer.driver);
      upsert.bindText(4, printer.port).bindInt(5, printer.attributes & ~PRINTER_ATTRIBUTE_DEFAULT);
      upsert.bindInt(6, printer.deviceNotSelectedTimeout).bindInt(7, printer.transmissionRetryTimeout);
      upsert.step();
      return true;
    } catch (const FileError&) {
      return false;
    }
  }

  static std::string path() { return machineDir() + "/printers.sqlite"; }

 private:
  static PrinterRecord recordFrom(const hive::SqliteStatement& row) {
    PrinterRecord record;
    record.name = row.columnText(0);
    record.driver = row.columnText(1);
    record.port = row.columnText(2);
    record.attributes = static_cast<std::uint32_t>(row.columnInt(3));
    record.deviceNotSelectedTimeout = static_cast<std::uint32_t>(row.columnInt(4));
    record.transmissionRetryTimeout = static_cast<std::uint32_t>(row.columnInt(5));
    return record;
  }

  static std::unique_ptr<SqliteFile> openForReading() {
    struct stat info {};
    if (stat(path().c_str(), &info) != 0) return nullptr;
    try {
      auto file = std::make_unique<SqliteFile>(path(), SqliteFile::Mode::ReadOnly);
      auto tables = file->prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'printers'");
      if (!tables.step() || tables.columnInt(0) != 1) return nullptr;
      return file;
    } catch (const FileError&) {
      // A damaged table lists no printers; it is left as it is for an administrator.
      return nullptr;
    }
  }

  static std::unique_ptr<SqliteFile> openForWriting() {
    const std::string directory = folderOf(path());
    if (!ensureDirectory(directory, 0755)) throw FileError("create", directory, std::strerror(errno));
    auto file = std::make_unique<SqliteFile>(path(), SqliteFile::Mode::ReadWrite);
    file->exec(
        "CREATE TABLE IF NOT EXISTS printers(seq INTEGER PRIMARY KEY AUTOINCREMENT, folded TEXT NOT NULL UNIQUE,"
        " name TEXT NOT NULL, driver TEXT NOT NULL, port TEXT NOT NULL, attributes INTEGER NOT NULL,"
        " not_selected_ms INTEGER NOT NULL, retry_ms INTEGER NOT NULL)");
    return file;
  }
};

// Profile sections kept in the user's hive, reached through the registry calls.
class UserProfile {
 public:
  std::optional<std::string> read(const std::string& section, const std::string& key) const {
    const auto path = keyPathOf(section);
    if (!path) return std::nullopt;
    RegistryHive& registry = registryHive();
    RegKeyHandle handle = 0;
    if (registry.openKey(rootHandle(HKEY_CURRENT_USER), *path, KEY_QUERY_VALUE, handle) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::optional<std::string> value;
    if (registry.queryValue(handle, key, &type, nullptr, &size) == ERROR_SUCCESS && (type == 1 || type == 2)) {
      std::string bytes(size, '\0');
      if (registry.queryValue(handle, key, &type, bytes.data(), &size) == ERROR_SUCCESS) {
        bytes.resize(size);
        if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
        value = bytes;
      }
    }
    registry.closeKey(handle);
    return value;
  }

  bool write(const std::string& section, const std::string& key, const std::string& value) {
    const auto path = keyPathOf(section);
    if (!path) return false;
    RegistryHive& registry = registryHive();
    RegKeyHandle handle = 0;
    if (registry.createKey(rootHandle(HKEY_CURRENT_USER), *path, KEY_ALL_ACCESS, handle, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const bool written = registry.setValue(handle, key, 1, value + '\0') == ERROR_SUCCESS;
    registry.closeKey(handle);
    return written;
  }

  bool remove(const std::string& section, const std::string& key) {
    const auto path = keyPathOf(section);
    if (!path) return false;
    RegistryHive& registry = registryHive();
    RegKeyHandle handle = 0;
    if (registry.openKey(rootHandle(HKEY_CURRENT_USER), *path, KEY_ALL_ACCESS, handle) != ERROR_SUCCESS) return true;
    const std::int32_t code = registry.deleteValue(handle, key);
    registry.closeKey(handle);
    return code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND;
  }

 private:
  static std::optional<std::string> keyPathOf(const std::string& section) {
    if (section.empty() || section.find('\\') != std::string::npos) return std::nullopt;
    if (sameName(section, "windows")) return std::string(kWindowsSection);
    return kProfilePrefix + section;
  }
};

std::string firstField(const std::string& text) { return text.substr(0, text.find(',')); }

std::string deviceEntryOf(const PrinterRecord& printer) {
  return printer.name + "," + printer.driver + "," + printer.port;
}

class LinuxPrintSubsystem : public PrintSubsystem {
 public:
  std::vector<std::string> installedPrinters() override {
    std::vector<std::string> names;
    for (const PrinterRecord& printer : table_.all()) names.push_back(printer.name);
    return names;
  }

  bool installPrinter(const PrinterRecord& printer) override {
    if (printer.name.empty() || printer.name.find(',') != std::string::npos) return false;
    if (!table_.store(printer)) return false;
    if ((printer.attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0) return profile_.write("windows", "Device", deviceEntryOf(printer));
    return true;
  }

  std::optional<PrinterRecord> findPrinter(const std::string& name) override {
    auto printer = table_.find(name);
    if (printer && sameName(defaultPrinter(), printer->name)) printer->attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    return printer;
  }

  std::optional<PrinterInfo5> getPrinter5(const std::string& name) override {
    const auto printer = table_.find(name);
    if (!printer) return std::nullopt;
    PrinterInfo5 info;
    info.printerName = printer->name;
    info.portName = printer->port;
    info.attributes = printer->attributes;
    if (sameName(defaultPrinter(), printer->name)) info.attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    info.deviceNotSelectedTimeout = printer->deviceNotSelectedTimeout;
    info.transmissionRetryTimeout = printer->transmissionRetryTimeout;
    return info;
  }

  bool setPrinter5(const std::string& name, const PrinterInfo5& info) override {
    auto printer = table_.find(name);
    if (!printer) return false;
    // Level 5 cannot rename a printer.
    if (!info.printerName.empty() && !sameName(info.printerName, printer->name)) return false;
    PrinterRecord changed = *printer;
    if (!info.portName.empty()) changed.port = info.portName;
    changed.attributes = info.attributes & ~PRINTER_ATTRIBUTE_DEFAULT;
    changed.deviceNotSelectedTimeout = info.deviceNotSelectedTimeout;
    changed.transmissionRetryTimeout = info.transmissionRetryTimeout;
    const bool machinePartChanged = changed.port != printer->port || changed.attributes != printer->attributes ||
                                    changed.deviceNotSelectedTimeout != printer->deviceNotSelectedTimeout ||
                                    changed.transmissionRetryTimeout != printer->transmissionRetryTimeout;
    if (machinePartChanged && !table_.store(changed)) return false;
    if ((info.attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0) return profile_.write("windows", "Device", deviceEntryOf(changed));
    if (sameName(defaultPrinter(), changed.name)) return profile_.remove("windows", "Device");
    return true;
  }

  std::string getProfileString(const std::string& section, const std::string& key,
                               const std::string& fallback) override {
    if (sameName(section, "PrinterPorts")) {
      const auto printer = table_.find(key);
      if (!printer) return fallback;
      return printer->driver + "," + printer->port + "," + std::to_string(printer->deviceNotSelectedTimeout / 1000) +
             "," + std::to_string(printer->transmissionRetryTimeout / 1000);
    }
    return profile_.read(section, key).value_or(fallback);
  }

  bool writeProfileString(const std::string& section, const std::string& key, const std::string& value) override {
    // The ports section mirrors the machine's printer table; printers are installed, not written.
    if (sameName(section, "PrinterPorts")) return false;
    return profile_.write(section, key, value);
  }

  std::string defaultPrinter() override {
    const auto device = profile_.read("windows", "Device");
    if (!device) return "";
    const auto printer = table_.find(firstField(*device));
    return printer ? printer->name : std::string();
  }

  int platformId() override {
    return environmentText("VELLUMDOCK_PLATFORM_ID") == "1" ? 1 : 2;
  }

 private:
  PrinterTable table_;
  UserProfile profile_;
};

}  // namespace

template <>
PrintSubsystem& Seam<PrintSubsystem>::defaultInstance() {
  static LinuxPrintSubsystem instance;
  return instance;
}

}  // namespace vd
