// The conversation between the Ghostscript client and vellumdk-gsworker over one Unix
// stream socket (fd 3 in the worker). Every message is a frame: one type byte, the
// payload length as four bytes (least significant first), then the payload.
//
//   client -> worker  'J' job: a list of texts (see packTexts): the file whose reading
//                           progress is reported, then the interpreter's arguments
//   worker -> client  'L' one line the interpreter printed
//                     'G' a page finished (payload: its number in decimal)
//                     'P' percent of the input consumed (decimal)
//                     'E' the job ended (payload: the interpreter's exit code in decimal)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vd::gsworker {

struct Frame {
  char type = 0;
  std::string payload;
};

// Frames cap their payload so that a corrupted length cannot make either side allocate
// without end.
inline constexpr std::uint32_t kMaxPayload = 64u * 1024u * 1024u;

std::string encodeFrame(char type, const std::string& payload);

// Collects bytes as they arrive and hands out complete frames.
class FrameDecoder {
 public:
  void append(const char* data, std::size_t length) { buffer_.append(data, length); }
  // The next complete frame; nothing when more bytes are needed. Throws std::runtime_error
  // for a length beyond kMaxPayload.
  std::optional<Frame> next();

 private:
  std::string buffer_;
};

// A list of texts as one payload: each text as its four-byte length and its bytes.
std::string packTexts(const std::vector<std::string>& texts);
std::vector<std::string> unpackTexts(const std::string& payload);

// Writes all of data to a socket without raising SIGPIPE; false when the peer is gone.
bool sendAll(int fd, const std::string& data);

// The PostScript marker the page-reporting procedure prints after each page.
inline constexpr const char* kPageMarker = "%%[vellumdock-page]%%";

}  // namespace vd::gsworker
