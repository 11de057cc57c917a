#include "server/daemon/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <system_error>
#include <utility>

namespace vd::daemon {
namespace {

// One pipe for the process: a signal handler can reach nothing but globals.
int stopPipe[2] = {-1, -1};

void noteStopSignal(int /*signal*/) {
  const int saved = errno;
  const char byte = 's';
  // A full pipe already holds a stop: nothing is lost by dropping this byte.
  [[maybe_unused]] const ssize_t written = write(stopPipe[1], &byte, 1);
  errno = saved;
}

void failWith(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

StopSignals::StopSignals() {
  if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) failWith("cannot create the stop pipe");
  struct sigaction action {};
  action.sa_handler = noteStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT}) {
    if (sigaction(signal, &action, nullptr) != 0) failWith("cannot handle the stop signals");
  }
}

StopSignals::~StopSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT}) sigaction(signal, &action, nullptr);
  notifier_.reset();
  for (int& end : stopPipe) {
    if (end >= 0) close(end);
    end = -1;
  }
}

void StopSignals::onStop(std::function<void()> onStop) {
  onStop_ = std::move(onStop);
  if (!notifier_) {
    notifier_ = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });
  }
}

void StopSignals::onStopAtOnce(std::function<void()> onStopAtOnce) { onStopAtOnce_ = std::move(onStopAtOnce); }

void StopSignals::drain() {
  char bytes[64];
  ssize_t n = 0;
  while ((n = read(stopPipe[0], bytes, sizeof bytes)) > 0) received_ += static_cast<int>(n);
  // Each is called once, the stop first: what the end at once does builds on it.
  if (received_ >= 1 && onStop_ && !stopCalled_) {
    stopCalled_ = true;
    onStop_();
  }
  if (received_ >= 2 && onStopAtOnce_ && !stopAtOnceCalled_) {
    stopAtOnceCalled_ = true;
    onStopAtOnce_();
  }
}

}  // namespace vd::daemon
