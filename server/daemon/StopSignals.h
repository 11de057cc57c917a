// SIGTERM and SIGINT as the Stop button. The handler only writes a byte into a pipe; the
// pipe's reading end is watched by the event loop, so the stop is asked for at the scan
// cycle's next check point, never inside a conversion. A second signal is an operator who
// will not wait for the files in hand: it asks for the end at once.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vd::daemon {

class StopSignals {
 public:
  // Installs the handlers; throws std::system_error when the pipe or a handler cannot be set.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // From now on, a signal received (before or after this call) runs onStop once the
  // event loop processes its events.
  void onStop(std::function<void()> onStop);
  // From now on, a second signal (received before or after this call) runs onStopAtOnce
  // once the event loop processes its events, after onStop.
  void onStopAtOnce(std::function<void()> onStopAtOnce);

 private:
  void drain();

  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> onStop_;
  std::function<void()> onStopAtOnce_;
  int received_ = 0;
  bool stopCalled_ = false;
  bool stopAtOnceCalled_ = false;
};

}  // namespace vd::daemon
