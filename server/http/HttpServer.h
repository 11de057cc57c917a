// The daemon seen and driven over HTTP: the status page (GET /), its Retry and
// Pause/Resume forms, the health check (GET /health), the metrics (GET /metrics) and
// conversions (POST /convert). It serves on threads of its own and reaches the scan loop
// only through the DaemonMailbox: it reads the status the loop published and leaves
// requests for it, so no client ever holds the loop up, and a loop that hangs still
// gets its health reported.
//
// Access: on a loopback address, without a token, only requests that name the loopback
// interface as their host; with a token, only requests that carry it (HTTP bearer or basic
// credentials), on any address. The forms carry a value of the page they came from, so
// another site's page cannot press their buttons in the operator's browser.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "server/DaemonMailbox.h"
#include "server/http/ListenAddress.h"

namespace vd::http {

struct HttpSettings {
  ListenAddress address;
  // Required of every request when set.
  std::optional<std::string> token;
  // The largest document POST /convert takes (--max-upload-mb).
  std::uint64_t maxUploadBytes = std::uint64_t{100} << 20;
  // How long a client waits for its conversion, queue included, before it is told 504.
  std::chrono::seconds jobBound{600};
  // The lanes of the daemon, and how many conversions may wait for one beyond those being
  // converted before a client is told 503.
  std::size_t lanes = 1;
  std::size_t waitingPerLane = 4;
  // "Use security" for the documents sent (the daemon's own option, as a folder's is for
  // the files dropped into it).
  bool security = false;
};

class HttpServer {
 public:
  HttpServer(HttpSettings settings, DaemonMailbox& mailbox);
  // Stops serving; conversions still being waited for are abandoned.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the address and serves from then on. Throws std::runtime_error saying why when
  // the address cannot be bound.
  void start();
  // The port bound (the one the system chose for port 0).
  int port() const { return port_; }
  // The address to give a client: "http://127.0.0.1:8080/".
  std::string url() const;
  void stop();

 private:
  class Routes;
  HttpSettings settings_;
  std::unique_ptr<Routes> routes_;
  int port_ = 0;
};

}  // namespace vd::http
