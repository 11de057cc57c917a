#include "platform/ProcessEnd.h"

#include <limits.h>
#include <signal.h>
#include <stdio.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vd {
namespace {

// A signal handler may use only fixed memory and async-signal-safe calls (rename is one).
char pendingFrom[PATH_MAX];
char pendingTo[PATH_MAX];
std::atomic<bool> pending{false};

void carryOutPendingMove() {
  if (pending.exchange(false)) ::rename(pendingFrom, pendingTo);
}

extern "C" void onTerminationSignal(int signal) {
  const int savedErrno = errno;
  carryOutPendingMove();
  errno = savedErrno;
  // The handler was reset to the default action on entry: raised again, the signal ends
  // the process as it would have without us, once this handler returns.
  raise(signal);
}

void installOnce() {
  static const bool installed = [] {
    std::atexit([] { carryOutPendingMove(); });
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
      struct sigaction current {};
      if (sigaction(signal, nullptr, &current) != 0) continue;
      // A signal the program ignores or handles itself is left to it.
      if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = onTerminationSignal;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      sigaction(signal, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

class SignalSafeProcessEnd : public ProcessEnd {
 public:
  bool keepPendingMove(const std::string& from, const std::string& to) override {
    installOnce();
    pending.store(false);
    if (from.size() >= sizeof pendingFrom || to.size() >= sizeof pendingTo) return false;
    std::memcpy(pendingFrom, from.c_str(), from.size() + 1);
    std::memcpy(pendingTo, to.c_str(), to.size() + 1);
    pending.store(true);
    return true;
  }
  void dropPendingMove() override { pending.store(false); }
};

}  // namespace

template <>
ProcessEnd& Seam<ProcessEnd>::defaultInstance() {
  static SignalSafeProcessEnd instance;
  return instance;
}

}  // namespace vd
