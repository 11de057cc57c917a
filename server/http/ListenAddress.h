// Where the daemon listens for its watchers and clients (--listen ADDRESS:PORT), and the
// token they must show when it listens anywhere but on the loopback interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vd::http {

struct ListenAddress {
  std::string host;  // a numeric address as the socket takes it: "127.0.0.1", "::1"
  int port = 0;      // 0: any free port, the one taken is announced
  bool loopback = false;
};

// "127.0.0.1:8080", "[::1]:8080", "localhost:8080" (taken as 127.0.0.1), "0.0.0.0:8080",
// "[::]:8080". Names other than localhost are refused: what a name resolves to can change,
// and whether the address is loopback decides whether a token is needed. The reason in
// problem when the text is refused.
std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& problem);

// Reads the bearer token from a file: its first line, without the line end. It must be a
// regular file that other accounts cannot read, holding at least 16 printable characters
// without spaces. The reason in problem when it cannot be used.
std::optional<std::string> ReadAccessToken(const std::string& path, std::string& problem);

// The request's credentials hold the token: "Authorization: Bearer TOKEN", or a browser's
// "Basic" credentials with TOKEN as the password (any user name). Compared in constant time.
bool CarriesToken(std::string_view authorization, const std::string& token);

// The Host header of a request names this machine's loopback interface ("localhost",
// "127.0.0.1", "[::1]", with or without a port), or is missing. Without a token, a page
// reached under any other name is refused: a web site whose name was made to resolve to
// 127.0.0.1 would otherwise read the page in the operator's browser.
bool NamesLoopback(std::string_view host);

}  // namespace vd::http
