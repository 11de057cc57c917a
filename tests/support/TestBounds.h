// Bounds around a step that would block for ever or write without end should its fault come
// back: the test program then fails with a message instead of hanging the run or filling the disk.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace vd::test {

// Ends the test program with a message unless it is destroyed within the limit.
class Deadline {
 public:
  Deadline(std::chrono::seconds limit, std::string step)
      : watcher_([limit, step = std::move(step), finished = finished_.get_future()] {
          if (finished.wait_for(limit) == std::future_status::ready) return;
          std::fprintf(stderr, "%s did not end within %lld s: the test program stops here\n", step.c_str(),
                       static_cast<long long>(limit.count()));
          std::fflush(stderr);
          std::_Exit(3);
        }) {}
  ~Deadline() {
    finished_.set_value();
    watcher_.join();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  std::promise<void> finished_;
  std::thread watcher_;
};

// Waits for something another process or thread makes happen (a file written, a process
// started), looking every few milliseconds, until it holds or the bound passes; returns
// whether it holds. The bound only keeps a fault from hanging the test.
inline bool EventuallyHolds(const std::function<bool()>& holds, std::chrono::milliseconds bound) {
  const auto giveUp = std::chrono::steady_clock::now() + bound;
  while (!holds()) {
    if (std::chrono::steady_clock::now() >= giveUp) return holds();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Lowers the largest file this process (and what it starts) may write; writing past it
// ends the process with SIGXFSZ. The previous limit comes back at the end of the scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lowered = previous_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous_); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
};

}  // namespace vd::test
