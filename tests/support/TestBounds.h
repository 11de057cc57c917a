// Bounds a test puts around a step that, should the fault it tests come back, would
// block for ever or write without end: the test program then fails with a message
// instead of hanging the run or filling the disk.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace vd::test {

// Ends the test program with a message unless it is destroyed within the limit.
class Deadline {
 public:
  Deadline(std::chrono::seconds limit, std::string step);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::thread watcher_;
};

// Lowers the largest file this process (and what it starts) may write; writing past it
// ends the process with SIGXFSZ. The previous limit comes back at the end of the scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
};

}  // namespace vd::test
