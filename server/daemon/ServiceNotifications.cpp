#include "server/daemon/ServiceNotifications.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Environment.h"

namespace vd::daemon {
namespace {

// A status text is one line of the protocol's key=value list.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::optional<std::chrono::microseconds> watchdogFromEnvironment() {
  const std::string usec = environmentText("WATCHDOG_USEC");
  const std::string pid = environmentText("WATCHDOG_PID");
  // A heartbeat asked of another process (one that started this one) is not ours to give.
  if (!pid.empty() && pid != std::to_string(getpid())) return std::nullopt;
  if (usec.empty() || usec.size() > 18 || usec.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const long long value = std::stoll(usec);
  if (value <= 0) return std::nullopt;
  return std::chrono::microseconds(value);
}

}  // namespace

ServiceNotifications::ServiceNotifications() {
  address_ = environmentText("NOTIFY_SOCKET");
  watchdog_ = watchdogFromEnvironment();
  for (const char* variable : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"}) unsetenv(variable);
  // Only a path or an abstract name the socket address can hold.
  if (address_.empty() || (address_[0] != '/' && address_[0] != '@') || address_.size() >= sizeof(sockaddr_un::sun_path)) {
    address_.clear();
    watchdog_.reset();
    return;
  }
  socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) address_.clear();
}

ServiceNotifications::~ServiceNotifications() {
  heartbeat_.reset();
  if (socket_ >= 0) close(socket_);
}

bool ServiceNotifications::send(const std::string& message) {
  if (socket_ < 0) return false;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::memcpy(to.sun_path, address_.data(), address_.size());
  if (to.sun_path[0] == '@') to.sun_path[0] = '\0';
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size());
  // Nothing depends on a message arriving: a service manager gone away must not stop the
  // conversions.
  for (;;) {
    const ssize_t sent = ::sendto(socket_, message.data(), message.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), length);
    if (sent >= 0) return true;
    if (errno != EINTR) return false;
  }
}

void ServiceNotifications::ready(const std::string& status) {
  send("READY=1\nSTATUS=" + oneLine(status));
  if (!watchdog_ || heartbeat_) return;
  // Twice per interval, as the service manager advises: one late beat is no missed beat.
  const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(*watchdog_ / 2);
  heartbeat_ = std::make_unique<QTimer>();
  heartbeat_->setInterval(std::max<std::chrono::milliseconds>(half, std::chrono::milliseconds(1)));
  QObject::connect(heartbeat_.get(), &QTimer::timeout, [this] { send("WATCHDOG=1"); });
  heartbeat_->start();
  send("WATCHDOG=1");
}

void ServiceNotifications::stopping(const std::string& status) { send("STOPPING=1\nSTATUS=" + oneLine(status)); }

}  // namespace vd::daemon
