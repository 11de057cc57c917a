// What the hive store and the printer table share: SQLite files opened read-only or for
// writing, and the rule that decides whether this process may change machine-wide state.
//
// The rule looks at mode bits and ownership itself instead of asking the kernel, because
// the kernel lets root write anywhere: an administrator who marks the machine directory
// read-only (chmod 0555) means "nobody changes this", and tests running as root must see
// the same refusal a normal user would.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vd::hive {

// True when the mode bits of the existing entry at path let this process write it:
// owner, group or other bits by ownership, any write bit for root; and the kernel agrees
// (read-only mounts).
bool modeBitsAllowWrite(const std::string& path);
// The same for reading (an entry with no read bit at all is unreadable, even for root).
bool modeBitsAllowRead(const std::string& path);
// A directory in which files can be created and replaced: it exists and may be written,
// or it is missing and its nearest existing ancestor may be written.
bool directoryWritable(const std::string& directory);
// The file may be created or replaced: its directory is writable and, when the file
// exists, its own bits allow writing.
bool fileWritable(const std::string& path);
// Case folding for names that compare without regard to case (key paths, value names,
// printer names). Valid UTF-8 is folded fully; other bytes only in the ASCII range.
std::string foldCase(const std::string& text);

class SqliteStatement;

// One SQLite file. Failures throw FileError naming the file.
class SqliteFile {
 public:
  enum class Mode { ReadOnly, ReadWrite };
  SqliteFile(std::string path, Mode mode);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  void exec(const std::string& sql);
  SqliteStatement prepare(const std::string& sql);
  const std::string& path() const { return path_; }
  // Number of rows the last statement changed.
  int changes() const;

 private:
  friend class SqliteStatement;
  [[noreturn]] void fail(const std::string& operation) const;

  std::string path_;
  sqlite3* db_ = nullptr;
};

class SqliteStatement {
 public:
  SqliteStatement(SqliteFile& file, sqlite3_stmt* statement) : file_(&file), statement_(statement) {}
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  SqliteStatement& operator=(SqliteStatement&&) = delete;

  // Parameters are numbered from 1.
  SqliteStatement& bindText(int index, const std::string& text);
  SqliteStatement& bindBlob(int index, const std::string& bytes);
  SqliteStatement& bindInt(int index, std::int64_t value);
  // True while a row is available.
  bool step();
  // Columns are numbered from 0.
  std::string columnText(int index) const;
  std::string columnBlob(int index) const;
  std::int64_t columnInt(int index) const;

 private:
  SqliteFile* file_;
  sqlite3_stmt* statement_;
};

}  // namespace vd::hive
