// The registry calls the program makes (open, create, set, query, delete, close a key),
// with their Windows result codes, realised over our own hive store:
//
//   HKEY_CURRENT_USER   userDataDir()/registry.sqlite
//   HKEY_LOCAL_MACHINE  machineDir()/registry.sqlite
//   HKEY_CLASSES_ROOT   HKEY_LOCAL_MACHINE "SOFTWARE\Classes"
//   HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
//                       the machine's XDG autostart directory (see AutostartEntries.h)
//
// Each hive is one SQLite file with two tables: keys (folded path, path as created) and
// vals (folded key path, folded name, name as written, type code, raw bytes). Key paths
// and value names compare without regard to case; "" names the default value.
//
// Rights are real: a hive whose file or directory this process may not write (decided
// from mode bits and ownership, root included, see HiveStorage.h) refuses every change
// with 5, while keys still open for reading. A missing hive reads as empty (2) and is
// created on the first write when its directory can be.
//
// The per-user hive holds passwords and is private to its owner: its folder has mode
// 0700, the file and SQLite's side files 0600, and one found open to others is made
// private when it is next opened (PrivateFiles.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Seam.h"
#include "common/RegistryRoots.h"

namespace vd {

// Result codes.
inline constexpr std::int32_t ERROR_SUCCESS = 0;
inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::int32_t ERROR_BAD_PATHNAME = 161;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
inline constexpr std::int32_t ERROR_REGISTRY_IO_FAILED = 1016;

// Access rights of an open key.
inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr std::uint32_t KEY_NOTIFY = 0x0010;
inline constexpr std::uint32_t READ_CONTROL = 0x00020000;
inline constexpr std::uint32_t KEY_READ = 0x00020019;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0x000F003F;

// Dispositions of createKey.
inline constexpr std::uint32_t REG_CREATED_NEW_KEY = 1;
inline constexpr std::uint32_t REG_OPENED_EXISTING_KEY = 2;

// A key handle: a predefined root (0x80000000 ...) or a handle returned by openKey or
// createKey, which must be released once with closeKey.
using RegKeyHandle = std::uint64_t;

// The predefined root as a handle (the roots are negative 32-bit numbers to their users).
constexpr RegKeyHandle rootHandle(std::int32_t root) { return static_cast<std::uint32_t>(root); }

// One value of a change made at once: written with its type code and bytes, or deleted
// when there are no bytes.
struct ValueChange {
  std::string name;
  std::uint32_t type = 0;
  std::optional<std::string> data;
};

class RegistryHive {
 public:
  virtual ~RegistryHive() = default;
  // Opens an existing key below key; 2 when it does not exist. Opening never fails for
  // lack of write rights: the writes through the handle do.
  virtual std::int32_t openKey(RegKeyHandle key, const std::string& subKey, std::uint32_t access,
                               RegKeyHandle& result) = 0;
  // Opens or creates the key and every missing key above it. disposition may be null.
  virtual std::int32_t createKey(RegKeyHandle key, const std::string& subKey, std::uint32_t access,
                                 RegKeyHandle& result, std::uint32_t* disposition) = 0;
  // Creates or replaces a value with the given type code and bytes.
  virtual std::int32_t setValue(RegKeyHandle key, const std::string& name, std::uint32_t type,
                                const std::string& data) = 0;
  // Reads a value. With data null only type and size are returned. Otherwise *size is the
  // room in data; when the value does not fit, 234 and *size the size needed.
  virtual std::int32_t queryValue(RegKeyHandle key, const std::string& name, std::uint32_t* type, char* data,
                                  std::uint32_t* size) = 0;
  virtual std::int32_t deleteValue(RegKeyHandle key, const std::string& name) = 0;
  // Writes and deletes several values of one key as one change: afterwards all of them
  // hold, or (with a failure code) the hive is as it was. Deleting a missing value is no
  // failure. Settings that belong together (passwords and what they guard) go this way.
  virtual std::int32_t changeValues(RegKeyHandle key, const std::vector<ValueChange>& changes) = 0;
  // Releases a handle; 6 for a handle that is not open (released twice, never issued).
  virtual std::int32_t closeKey(RegKeyHandle key) = 0;
};

template <>
RegistryHive& Seam<RegistryHive>::defaultInstance();
inline RegistryHive& registryHive() { return Seam<RegistryHive>::get(); }

// The file of a root's hive as the default realisation uses it ("" for other roots).
std::string hiveFileOf(std::int32_t root);

}  // namespace vd
