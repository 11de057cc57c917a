// The log file beside the window's log box: every line the box shows goes here too, with
// the time it was written, so that lines dropped from the box are still on disk. The file
// is rotated by size: when the next line would take it past the limit, vellumdk.log
// becomes vellumdk.log.1 (and .1 becomes .2 ...; the oldest beyond the kept count goes).
#pragma once

#include <cstdint>
#include <string>

namespace vd {

struct LogFileLimits {
  std::uint64_t maxBytes = 4 * 1024 * 1024;
  int keptFiles = 5;
};

// The limits in force: VELLUMDOCK_LOG_BYTES overrides the size of one file.
LogFileLimits LogFileLimitsFromEnvironment();

class LogFile {
 public:
  // path: the current file; it and its folder are created on the first line, private to
  // the user (lines name the user's files).
  explicit LogFile(std::string path, LogFileLimits limits = {});
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // The default file: $XDG_STATE_HOME/Vellumdock/vellumdk.log.
  static std::string defaultPath();
  const std::string& path() const { return path_; }

  // Writes "YYYY-MM-DD HH:MM:SS line" and a line end. A file that cannot be written
  // loses the line and is tried again with the next one: logging never stops a
  // conversion.
  void write(const std::string& line);

 private:
  bool openFile();
  void rotate();

  std::string path_;
  LogFileLimits limits_;
  int descriptor_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace vd
