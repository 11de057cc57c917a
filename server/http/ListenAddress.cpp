#include "server/http/ListenAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Text.h"

namespace vd::http {
namespace {

bool isLoopbackLiteral(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
  }
  return false;
}

bool isAddressLiteral(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::optional<int> portOf(std::string_view text) {
  if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
      })) {
    return std::nullopt;
  }
  const int port = std::stoi(std::string(text));
  if (port > 65535) return std::nullopt;
  return port;
}

std::string decodeBase64(std::string_view text) {
  std::string bytes;
  unsigned buffer = 0;
  int bits = 0;
  for (const char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (c == '=') break;
    if (value < 0) return {};
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return bytes;
}

bool equalInConstantTime(std::string_view a, const std::string& b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < b.size(); ++i) {
    difference |= static_cast<unsigned char>((i < a.size() ? a[i] : 0) ^ b[i]);
  }
  return difference == 0;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& problem) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    problem = "--listen takes ADDRESS:PORT, not '" + std::string(text) + "'";
    return std::nullopt;
  }
  std::string host(text.substr(0, colon));
  const std::optional<int> port = portOf(text.substr(colon + 1));
  if (!port) {
    problem = "--listen needs a port from 0 to 65535 after the last ':', not '" + std::string(text) + "'";
    return std::nullopt;
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (equalsIgnoreCase(host, "localhost")) host = "127.0.0.1";
  if (!isAddressLiteral(host)) {
    problem = "--listen takes a numeric address (127.0.0.1, [::1], 0.0.0.0) or localhost, not '" + host + "'";
    return std::nullopt;
  }
  return ListenAddress{host, *port, isLoopbackLiteral(host)};
}

std::optional<std::string> ReadAccessToken(const std::string& path, std::string& problem) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (descriptor < 0) {
    problem = "cannot read the token file " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat status {};
  std::string text;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    problem = "the token file " + path + " is not a regular file";
  } else if ((status.st_mode & S_IROTH) != 0) {
    problem = "the token file " + path + " can be read by every account: make it private (chmod o-r)";
  } else {
    char buffer[4096];
    const ssize_t n = read(descriptor, buffer, sizeof buffer);
    if (n > 0) text.assign(buffer, static_cast<std::size_t>(n));
  }
  close(descriptor);
  if (!problem.empty()) return std::nullopt;
  const std::string token = text.substr(0, text.find_first_of("\r\n"));
  const bool printable = std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7F; });
  if (token.size() < 16 || !printable) {
    problem = "the token file " + path + " must hold a token of at least 16 printable characters without spaces";
    return std::nullopt;
  }
  return token;
}

bool CarriesToken(std::string_view authorization, const std::string& token) {
  const std::size_t space = authorization.find(' ');
  if (space == std::string_view::npos) return false;
  const std::string scheme = toLowerAscii(authorization.substr(0, space));
  std::string_view credentials = authorization.substr(space + 1);
  while (!credentials.empty() && credentials.front() == ' ') credentials.remove_prefix(1);
  if (scheme == "bearer") return equalInConstantTime(credentials, token);
  if (scheme == "basic") {
    const std::string pair = decodeBase64(credentials);
    const std::size_t colon = pair.find(':');
    return colon != std::string::npos && equalInConstantTime(std::string_view(pair).substr(colon + 1), token);
  }
  return false;
}

bool NamesLoopback(std::string_view host) {
  if (host.empty()) return true;
  std::string name(host);
  if (name.front() == '[') {
    const std::size_t close = name.find(']');
    if (close == std::string::npos) return false;
    name = name.substr(1, close - 1);
  } else if (const std::size_t colon = name.rfind(':'); colon != std::string::npos) {
    name.resize(colon);
  }
  return equalsIgnoreCase(name, "localhost") || isLoopbackLiteral(name);
}

}  // namespace vd::http
