#include "outside/worker/WorkerProtocol.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vd::worker {
namespace {

void appendLength(std::string& out, std::size_t length) {
  if (length > kMaxPayload) throw std::runtime_error("worker message too long: " + std::to_string(length) + " bytes");
  const auto value = static_cast<std::uint32_t>(length);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

std::uint32_t readLength(const std::string& in, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
  return value;
}

}  // namespace

std::string encodeFrame(char type, const std::string& payload) {
  std::string out(1, type);
  appendLength(out, payload.size());
  out += payload;
  return out;
}

std::optional<Frame> FrameDecoder::next() {
  if (buffer_.size() < 5) return std::nullopt;
  const std::uint32_t length = readLength(buffer_, 1);
  if (length > kMaxPayload) throw std::runtime_error("worker message too long: " + std::to_string(length) + " bytes");
  if (buffer_.size() < 5 + static_cast<std::size_t>(length)) return std::nullopt;
  Frame frame{buffer_[0], buffer_.substr(5, length)};
  buffer_.erase(0, 5 + static_cast<std::size_t>(length));
  return frame;
}

std::string packTexts(const std::vector<std::string>& texts) {
  std::string out;
  for (const auto& text : texts) {
    appendLength(out, text.size());
    out += text;
  }
  return out;
}

std::vector<std::string> unpackTexts(const std::string& payload) {
  std::vector<std::string> texts;
  std::size_t at = 0;
  while (at < payload.size()) {
    if (payload.size() - at < 4) throw std::runtime_error("truncated text list");
    const std::uint32_t length = readLength(payload, at);
    at += 4;
    if (payload.size() - at < length) throw std::runtime_error("truncated text list");
    texts.push_back(payload.substr(at, length));
    at += length;
  }
  return texts;
}

bool sendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool confinementRequired() {
  const char* required = std::getenv("VELLUMDOCK_REQUIRE_CONFINEMENT");
  return required != nullptr && std::strcmp(required, "1") == 0;
}

}  // namespace vd::worker
