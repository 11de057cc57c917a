#include "support/TestBounds.h"

#include <cstdio>
#include <cstdlib>

namespace vd::test {

Deadline::Deadline(std::chrono::seconds limit, std::string step)
    : watcher_([this, limit, step = std::move(step)] {
        std::unique_lock lock(mutex_);
        if (finished_.wait_for(lock, limit, [this] { return done_; })) return;
        std::fprintf(stderr, "%s did not end within %lld s: the test program stops here\n", step.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(3);
      }) {}

Deadline::~Deadline() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  finished_.notify_one();
  watcher_.join();
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  getrlimit(RLIMIT_FSIZE, &previous_);
  rlimit lowered = previous_;
  lowered.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &lowered);
}

FileSizeLimit::~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous_); }

}  // namespace vd::test
