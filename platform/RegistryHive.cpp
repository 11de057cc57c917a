#include "RegistryHive.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/Errors.h"
#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Paths.h"
#include "platform/AutostartEntries.h"
#include "platform/HiveStorage.h"
#include "platform/PrivateFiles.h"

namespace vd {
namespace {

using hive::SqliteFile;

constexpr const char* kRunKey = "software\\microsoft\\windows\\currentversion\\run";
constexpr const char* kClassesPrefix = "SOFTWARE\\Classes";

bool fileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

std::string joinKeyPath(const std::string& parent, const std::string& child) {
  if (parent.empty()) return child;
  if (child.empty()) return parent;
  return parent + "\\" + child;
}

// A sub-key as given by a caller, checked: no leading "\", no empty component; one
// trailing "\" is tolerated and dropped.
std::optional<std::string> canonicalSubKey(const std::string& subKey) {
  std::string path = subKey;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty()) return path;
  if (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos) return std::nullopt;
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

// The files SQLite keeps beside a database while it changes it.
constexpr const char* kSideFileSuffixes[] = {"-journal", "-wal", "-shm"};

// One hive file. Reads of a missing file find nothing; writes create it. The per-user
// hive is private to its owner (see PrivateFiles.h); the machine's hive is for everyone
// to read.
class HiveFile {
 public:
  explicit HiveFile(std::string path) : path_(std::move(path)), private_(path_ == hiveFileOf(HKEY_CURRENT_USER)) {}

  bool keyExists(const std::string& folded) const {
    if (folded.empty()) return true;
    auto file = openForReading();
    if (!file) return false;
    auto query = file->prepare("SELECT 1 FROM keys WHERE path = ?");
    query.bindText(1, folded);
    return query.step();
  }

  // The value's type and bytes; nothing when it is missing.
  std::optional<std::pair<std::uint32_t, std::string>> readValue(const std::string& key,
                                                                 const std::string& name) const {
    auto file = openForReading();
    if (!file) return std::nullopt;
    auto query = file->prepare("SELECT type, data FROM vals WHERE key = ? AND name = ?");
    query.bindText(1, hive::foldCase(key)).bindText(2, hive::foldCase(name));
    if (!query.step()) return std::nullopt;
    return std::make_pair(static_cast<std::uint32_t>(query.columnInt(0)), query.columnBlob(1));
  }

  bool writable() const { return hive::fileWritable(path_); }
  // A hive that exists but may not be read (no read bits for this process).
  bool unreadable() const { return fileExists(path_) && !hive::modeBitsAllowRead(path_); }

  // Creates the key and its missing ancestors; true when the key itself was new.
  bool createKey(const std::string& path) {
    auto file = openForWriting();
    file->exec("BEGIN IMMEDIATE");
    const bool created = insertKeyPath(*file, path);
    file->exec("COMMIT");
    return created;
  }

  void writeValue(const std::string& key, const std::string& name, std::uint32_t type, const std::string& data) {
    auto file = openForWriting();
    upsertValue(*file, key, name, type, data);
  }

  // The key (created when missing) and all the changes in one transaction: a failure on
  // the way leaves the file as it was.
  void changeValues(const std::string& key, const std::vector<ValueChange>& changes) {
    auto file = openForWriting();
    file->exec("BEGIN IMMEDIATE");
    try {
      if (!key.empty()) insertKeyPath(*file, key);
      for (const ValueChange& change : changes) {
        if (change.data) {
          upsertValue(*file, key, change.name, change.type, *change.data);
        } else {
          auto remove = file->prepare("DELETE FROM vals WHERE key = ? AND name = ?");
          remove.bindText(1, hive::foldCase(key)).bindText(2, hive::foldCase(change.name));
          remove.step();
        }
      }
      file->exec("COMMIT");
    } catch (...) {
      ignoringErrors([&] { file->exec("ROLLBACK"); });
      throw;
    }
  }

  bool removeValue(const std::string& key, const std::string& name) {
    if (!fileExists(path_)) return false;
    auto file = openForWriting();
    auto remove = file->prepare("DELETE FROM vals WHERE key = ? AND name = ?");
    remove.bindText(1, hive::foldCase(key)).bindText(2, hive::foldCase(name));
    remove.step();
    return file->changes() > 0;
  }

 private:
  static bool insertKeyPath(SqliteFile& file, const std::string& path) {
    bool created = false;
    std::size_t start = 0;
    while (start <= path.size() && !path.empty()) {
      const auto slash = path.find('\\', start);
      const std::string prefix = path.substr(0, slash);
      auto insert = file.prepare("INSERT OR IGNORE INTO keys(path, name) VALUES(?, ?)");
      insert.bindText(1, hive::foldCase(prefix)).bindText(2, prefix);
      insert.step();
      created = file.changes() > 0;
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    return created;
  }

  static void upsertValue(SqliteFile& file, const std::string& key, const std::string& name, std::uint32_t type,
                          const std::string& data) {
    auto upsert = file.prepare(
        "INSERT INTO vals(key, name, shown, type, data) VALUES(?, ?, ?, ?, ?) "
        "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.bindText(1, hive::foldCase(key)).bindText(2, hive::foldCase(name)).bindText(3, name);
    upsert.bindInt(4, type).bindBlob(5, data);
    upsert.step();
  }

  // A private hive found open to others (copied in, restored from a backup, made by an
  // older version) is made private before anything is read from it or written to it.
  void keepPrivate() const {
    if (!private_) return;
    privateFiles::ensureDirectory(folderOf(path_));
    privateFiles::keepPrivate(path_);
    for (const char* suffix : kSideFileSuffixes) privateFiles::keepPrivate(path_ + suffix);
  }

  std::unique_ptr<SqliteFile> openForReading() const {
    if (!fileExists(path_)) return nullptr;
    keepPrivate();
    auto file = std::make_unique<SqliteFile>(path_, SqliteFile::Mode::ReadOnly);
    // A file that was never given its tables (an empty file) holds nothing.
    auto tables = file->prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys','vals')");
    if (!tables.step() || tables.columnInt(0) != 2) return nullptr;
    return file;
  }

  std::unique_ptr<SqliteFile> openForWriting() {
    const std::string directory = folderOf(path_);
    if (private_) {
      if (!privateFiles::ensureDirectory(directory)) throw FileError("create", directory, std::strerror(errno));
      // Created private before SQLite sees it: SQLite would create it 0644, and gives its
      // journal the database file's mode.
      if (!privateFiles::ensureFile(path_)) throw FileError("create", path_, std::strerror(errno));
      for (const char* suffix : kSideFileSuffixes) privateFiles::keepPrivate(path_ + suffix);
    } else if (!ensureDirectory(directory, 0755)) {
      throw FileError("create", directory, std::strerror(errno));
    }
    auto file = std::make_unique<SqliteFile>(path_, SqliteFile::Mode::ReadWrite);
    // Passwords replaced or cleared must not linger in the file's free pages (some SQLite
    // builds do this by default, not all).
    if (private_) file->exec("PRAGMA secure_delete = ON");
    file->exec(
        "CREATE TABLE IF NOT EXISTS keys(path TEXT PRIMARY KEY, name TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS vals(key TEXT NOT NULL, name TEXT NOT NULL, shown TEXT NOT NULL,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name));");
    return file;
  }

  std::string path_;
  bool private_;
};

// What a handle refers to, fixed when it is opened.
struct OpenKey {
  std::string hiveFile;       // "" for a root without a hive
  std::string path;           // as the caller spelled it
  std::uint32_t access = 0;
  std::optional<std::string> autostartDirectory;  // set for the Run key
};

bool isAncestorOrSelfOfRunKey(const std::string& folded) {
  const std::string run = kRunKey;
  return folded.empty() || folded == run || (run.compare(0, folded.size(), folded) == 0 && run[folded.size()] == '\\');
}

class LinuxRegistryHive : public RegistryHive {
 public:
  std::int32_t openKey(RegKeyHandle key, const std::string& subKey, std::uint32_t access,
                       RegKeyHandle& result) override {
    return guarded([&] {
      OpenKey target;
      if (const std::int32_t code = resolve(key, subKey, access, target); code != ERROR_SUCCESS) return code;
      if (!target.autostartDirectory && HiveFile(target.hiveFile).unreadable()) return ERROR_ACCESS_DENIED;
      if (!exists(target)) return ERROR_FILE_NOT_FOUND;
      result = issue(std::move(target));
      return ERROR_SUCCESS;
    });
  }

  std::int32_t createKey(RegKeyHandle key, const std::string& subKey, std::uint32_t access, RegKeyHandle& result,
                         std::uint32_t* disposition) override {
    return guarded([&] {
      const std::optional<OpenKey> parent = lookup(key);
      if (!parent) return ERROR_INVALID_HANDLE;
      if ((parent->access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
      OpenKey target;
      if (const std::int32_t code = resolve(key, subKey, access, target); code != ERROR_SUCCESS) return code;
      std::uint32_t outcome = REG_OPENED_EXISTING_KEY;
      if (!exists(target)) {
        HiveFile file(target.hiveFile);
        if (target.hiveFile.empty() || !file.writable()) return ERROR_ACCESS_DENIED;
        if (file.createKey(target.path)) outcome = REG_CREATED_NEW_KEY;
      }
      if (disposition != nullptr) *disposition = outcome;
      result = issue(std::move(target));
      return ERROR_SUCCESS;
    });
  }

  std::int32_t setValue(RegKeyHandle key, const std::string& name, std::uint32_t type,
                        const std::string& data) override {
    return guarded([&] {
      const std::optional<OpenKey> open = lookup(key);
      if (!open) return ERROR_INVALID_HANDLE;
      if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
      if (data.size() > std::numeric_limits<std::uint32_t>::max()) return ERROR_INVALID_PARAMETER;
      if (open->autostartDirectory) {
        if (type != 1 && type != 2) return ERROR_INVALID_PARAMETER;
        std::string text = data;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        return AutostartEntries(*open->autostartDirectory).write(name, text);
      }
      HiveFile file(open->hiveFile);
      if (open->hiveFile.empty() || !file.writable()) return ERROR_ACCESS_DENIED;
      if (!open->path.empty()) file.createKey(open->path);
      file.writeValue(open->path, name, type, data);
      return ERROR_SUCCESS;
    });
  }

  std::int32_t changeValues(RegKeyHandle key, const std::vector<ValueChange>& changes) override {
    return guarded([&] {
      const std::optional<OpenKey> open = lookup(key);
      if (!open) return ERROR_INVALID_HANDLE;
      if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
      // The autostart entries are separate files: no way to change several at once.
      if (open->autostartDirectory) return ERROR_INVALID_PARAMETER;
      for (const ValueChange& change : changes) {
        if (change.data && change.data->size() > std::numeric_limits<std::uint32_t>::max()) {
          return ERROR_INVALID_PARAMETER;
        }
      }
      HiveFile file(open->hiveFile);
      if (open->hiveFile.empty() || !file.writable()) return ERROR_ACCESS_DENIED;
      file.changeValues(open->path, changes);
      return ERROR_SUCCESS;
    });
  }

  std::int32_t queryValue(RegKeyHandle key, const std::string& name, std::uint32_t* type, char* data,
                          std::uint32_t* size) override {
    return guarded([&] {
      const std::optional<OpenKey> open = lookup(key);
      if (!open) return ERROR_INVALID_HANDLE;
      if ((open->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
      if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
      std::optional<std::pair<std::uint32_t, std::string>> value;
      if (open->autostartDirectory) {
        std::string text;
        const std::int32_t code = AutostartEntries(*open->autostartDirectory).read(name, text);
        if (code != ERROR_SUCCESS) return code;
        value.emplace(1u, text + '\0');
      } else if (!open->hiveFile.empty()) {
        const HiveFile file(open->hiveFile);
        if (file.unreadable()) return ERROR_ACCESS_DENIED;
        value = file.readValue(open->path, name);
      }
      if (!value) return ERROR_FILE_NOT_FOUND;
      const std::string& bytes = value->second;
      if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return ERROR_REGISTRY_IO_FAILED;
      const auto needed = static_cast<std::uint32_t>(bytes.size());
      if (type != nullptr) *type = value->first;
      if (data == nullptr) {
        if (size != nullptr) *size = needed;
        return ERROR_SUCCESS;
      }
      if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
      }
      std::memcpy(data, bytes.data(), bytes.size());
      *size = needed;
      return ERROR_SUCCESS;
    });
  }

  std::int32_t deleteValue(RegKeyHandle key, const std::string& name) override {
    return guarded([&] {
      const std::optional<OpenKey> open = lookup(key);
      if (!open) return ERROR_INVALID_HANDLE;
      if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
      if (open->autostartDirectory) return AutostartEntries(*open->autostartDirectory).remove(name);
      HiveFile file(open->hiveFile);
      if (open->hiveFile.empty() || !file.writable()) return ERROR_ACCESS_DENIED;
      return file.removeValue(open->path, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
  }

  std::int32_t closeKey(RegKeyHandle key) override {
    if (predefinedRoot(key)) return ERROR_SUCCESS;
    std::lock_guard lock(mutex_);
    return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }

 private:
  // A failure of the store itself (a damaged file, a full disk) is a result code, never an
  // exception through the registry calls.
  template <class Operation>
  static std::int32_t guarded(Operation operation) {
    try {
      return operation();
    } catch (const std::exception&) {
      return ERROR_REGISTRY_IO_FAILED;
    }
  }

  static std::optional<std::int32_t> predefinedRoot(RegKeyHandle key) {
    if (key == rootHandle(HKEY_CLASSES_ROOT) || key == rootHandle(HKEY_CURRENT_USER) || key == rootHandle(HKEY_LOCAL_MACHINE)) {
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(key));
    }
    return std::nullopt;
  }

  std::optional<OpenKey> lookup(RegKeyHandle key) const {
    if (const auto root = predefinedRoot(key)) {
      OpenKey open;
      open.access = KEY_ALL_ACCESS;
      open.hiveFile = hiveFileOf(*root == HKEY_CLASSES_ROOT ? HKEY_LOCAL_MACHINE : *root);
      if (*root == HKEY_CLASSES_ROOT) open.path = kClassesPrefix;
      return open;
    }
    std::lock_guard lock(mutex_);
    const auto found = handles_.find(key);
    if (found == handles_.end()) return std::nullopt;
    return found->second;
  }

  // The key below `key` named by subKey, with the given access.
  std::int32_t resolve(RegKeyHandle key, const std::string& subKey, std::uint32_t access, OpenKey& target) const {
    const std::optional<OpenKey> parent = lookup(key);
    if (!parent) return ERROR_INVALID_HANDLE;
    const std::optional<std::string> relative = canonicalSubKey(subKey);
    if (!relative) return ERROR_BAD_PATHNAME;
    target.hiveFile = parent->hiveFile;
    target.path = joinKeyPath(parent->path, *relative);
    target.access = access;
    if (target.hiveFile == hiveFileOf(HKEY_LOCAL_MACHINE) && hive::foldCase(target.path) == kRunKey) {
      target.autostartDirectory = AutostartEntries::machineDirectory();
    }
    return ERROR_SUCCESS;
  }

  static bool exists(const OpenKey& key) {
    if (key.hiveFile.empty()) return false;
    const std::string folded = hive::foldCase(key.path);
    // The Run key and the keys above it always exist: the autostart list is always there.
    if (key.hiveFile == hiveFileOf(HKEY_LOCAL_MACHINE) && isAncestorOrSelfOfRunKey(folded)) return true;
    return HiveFile(key.hiveFile).keyExists(folded);
  }

  RegKeyHandle issue(OpenKey key) {
    std::lock_guard lock(mutex_);
    const RegKeyHandle handle = nextHandle_++;
    handles_.emplace(handle, std::move(key));
    return handle;
  }

  mutable std::mutex mutex_;
  std::map<RegKeyHandle, OpenKey> handles_;
  // Handles look like the small numbers the system hands out; never a predefined root.
  RegKeyHandle nextHandle_ = 0x100;
};

}  // namespace

std::string hiveFileOf(std::int32_t root) {
  switch (root) {
    case HKEY_CURRENT_USER: return userDataDir() + "/registry.sqlite";
    case HKEY_LOCAL_MACHINE: return machineDir() + "/registry.sqlite";
    default: return "";
  }
}

template <>
RegistryHive& Seam<RegistryHive>::defaultInstance() {
  static LinuxRegistryHive instance;
  return instance;
}

}  // namespace vd
