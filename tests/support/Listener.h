// A listening socket of a test's own, to show that nothing connected to it: a loopback TCP
// port ("tcp:PORT", and the web address of a picture on it) or a Unix socket at a path
// ("unix:PATH"). It counts the connections made to it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

namespace vd::test {

class Listener {
 public:
  explicit Listener(const std::string& unixPath = "")
      : fd_(socket(unixPath.empty() ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    if (unixPath.empty()) {
      sockaddr_in at{};
      at.sin_family = AF_INET;
      at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      socklen_t length = sizeof at;
      bind(fd_, reinterpret_cast<sockaddr*>(&at), length);
      getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length);
      port_ = std::to_string(ntohs(at.sin_port));
      address_ = "tcp:" + port_;
    } else {
      sockaddr_un at{};
      at.sun_family = AF_UNIX;
      unixPath.copy(at.sun_path, sizeof at.sun_path - 1);
      bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at);
      address_ = "unix:" + unixPath;
    }
    listen(fd_, 8);
  }
  ~Listener() { close(fd_); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  const std::string& address() const { return address_; }
  std::string webAddress(const std::string& file) const { return "http://127.0.0.1:" + port_ + "/" + file; }
  int connections() {
    for (int accepted; (accepted = accept(fd_, nullptr, nullptr)) >= 0;) {
      close(accepted);
      ++connections_;
    }
    return connections_;
  }

 private:
  int fd_;
  int connections_ = 0;
  std::string port_;
  std::string address_;
};

}  // namespace vd::test
