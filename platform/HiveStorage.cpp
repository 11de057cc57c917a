#include "HiveStorage.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

#include "common/Errors.h"
#include "common/Paths.h"

namespace vd::hive {
namespace {

bool inSupplementaryGroups(gid_t group) {
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int filled = getgroups(count, groups.data());
  if (filled <= 0) return false;
  groups.resize(static_cast<std::size_t>(filled));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

bool existsAt(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

namespace {

// Which of the owner, group and other bits apply to this process for an entry; for root
// any of them.
bool modeBitsAllow(const struct stat& info, mode_t owner, mode_t group, mode_t other) {
  const uid_t user = geteuid();
  if (user == 0) return (info.st_mode & (owner | group | other)) != 0;
  if (info.st_uid == user) return (info.st_mode & owner) != 0;
  if (info.st_gid == getegid() || inSupplementaryGroups(info.st_gid)) return (info.st_mode & group) != 0;
  return (info.st_mode & other) != 0;
}

}  // namespace

bool modeBitsAllowWrite(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  bool allowed = modeBitsAllow(info, S_IWUSR, S_IWGRP, S_IWOTH);
  // Directories also need the search bit to create anything inside them.
  if (allowed && S_ISDIR(info.st_mode)) allowed = modeBitsAllow(info, S_IXUSR, S_IXGRP, S_IXOTH);
  return allowed && access(path.c_str(), W_OK) == 0;
}

bool modeBitsAllowRead(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  return modeBitsAllow(info, S_IRUSR, S_IRGRP, S_IROTH) && access(path.c_str(), R_OK) == 0;
}

bool directoryWritable(const std::string& directory) {
  std::string current = directory;
  while (!existsAt(current)) {
    const std::string parent = folderOf(current);
    if (parent == current) return false;
    current = parent;
  }
  struct stat info {};
  if (stat(current.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  return modeBitsAllowWrite(current);
}

bool fileWritable(const std::string& path) {
  if (!directoryWritable(folderOf(path))) return false;
  return !existsAt(path) || modeBitsAllowWrite(path);
}

std::string foldCase(const std::string& text) {
  const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QByteArray roundTrip = decoded.toUtf8();
  if (roundTrip.size() == static_cast<qsizetype>(text.size()) &&
      std::equal(text.begin(), text.end(), roundTrip.constBegin())) {
    return decoded.toCaseFolded().toStdString();
  }
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

SqliteFile::SqliteFile(std::string path, Mode mode) : path_(std::move(path)) {
  const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (sqlite3_open_v2(path_.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw FileError("open", path_, reason);
  }
  // Another process (the set-up, a second instance) may hold the file for a moment.
  sqlite3_busy_timeout(db_, 5000);
}

SqliteFile::~SqliteFile() { sqlite3_close(db_); }

void SqliteFile::fail(const std::string& operation) const { throw FileError(operation, path_, sqlite3_errmsg(db_)); }

void SqliteFile::exec(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail("execute on");
}

SqliteStatement SqliteFile::prepare(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) fail("read");
  return SqliteStatement(*this, statement);
}

int SqliteFile::changes() const { return sqlite3_changes(db_); }

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : file_(other.file_), statement_(other.statement_) {
  other.statement_ = nullptr;
}

SqliteStatement& SqliteStatement::bindText(int index, const std::string& text) {
  if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
    file_->fail("bind for");
  }
  return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, const std::string& bytes) {
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw FileError("write", file_->path(), "value too large");
  }
  // A zero-length blob must still be a blob, not NULL.
  static const char nothing = 0;
  const char* data = bytes.empty() ? &nothing : bytes.data();
  if (sqlite3_bind_blob(statement_, index, data, static_cast<int>(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
    file_->fail("bind for");
  }
  return *this;
}

SqliteStatement& SqliteStatement::bindInt(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) file_->fail("bind for");
  return *this;
}

bool SqliteStatement::step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  file_->fail("access");
}

std::string SqliteStatement::columnText(int index) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
  const int length = sqlite3_column_bytes(statement_, index);
  return text != nullptr ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

std::string SqliteStatement::columnBlob(int index) const {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, index));
  const int length = sqlite3_column_bytes(statement_, index);
  return data != nullptr ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::int64_t SqliteStatement::columnInt(int index) const { return sqlite3_column_int64(statement_, index); }

}  // namespace vd::hive
