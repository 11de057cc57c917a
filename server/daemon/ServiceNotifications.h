// What vellumdkd tells the service manager that started it: ready once its folders are
// claimed and its lanes started, a heartbeat while its scan loop is alive, its status, and
// that it is stopping. The messages go as datagrams to the socket named by NOTIFY_SOCKET
// (a path, or an abstract name after "@"), the service manager's documented notification
// protocol; written here rather than taken from libsystemd because these four plain
// messages are all the daemon sends, and the daemon then depends on no more than before.
// Without NOTIFY_SOCKET (run by hand, from a shell or another supervisor) nothing is sent.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace vd::daemon {

class ServiceNotifications {
 public:
  // Reads NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID, then removes them from the
  // environment, so that the lanes and workers this process starts do not speak for it.
  ServiceNotifications();
  ~ServiceNotifications();
  ServiceNotifications(const ServiceNotifications&) = delete;
  ServiceNotifications& operator=(const ServiceNotifications&) = delete;

  // READY=1 with a status line; from now on the heartbeat runs, when one is asked for.
  void ready(const std::string& status);
  // STOPPING=1 with a status line.
  void stopping(const std::string& status);

  // How often the service manager wants a heartbeat; nothing when it wants none.
  std::optional<std::chrono::microseconds> watchdogInterval() const { return watchdog_; }

 private:
  bool send(const std::string& message);

  int socket_ = -1;
  std::string address_;
  std::optional<std::chrono::microseconds> watchdog_;
  // Fires only while the event loop runs, that is while the scan loop reaches its check
  // points: a loop stuck anywhere stops the heartbeat, and the service manager steps in.
  std::unique_ptr<QTimer> heartbeat_;
};

}  // namespace vd::daemon
