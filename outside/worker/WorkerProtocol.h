// The conversation between a worker client and its worker program over one Unix stream
// socket (fd 3 in the worker). Every message is a frame: one type byte, the payload
// length as four bytes (least significant first), then the payload.
//
//   client -> worker  'J' a job: a list of texts (packTexts), read by the worker's job handler
//   worker -> client  'A' the job was read; from here on a dying worker fails the job
//                     'L' one line for the job's log
//                     'E' the job ended: the handler's code in decimal
//                     any other type: a report of the worker kind's own (pages, percent, ...)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vd::worker {

inline constexpr char kJobFrame = 'J';
inline constexpr char kAcceptedFrame = 'A';
inline constexpr char kLineFrame = 'L';
inline constexpr char kEndFrame = 'E';

// The worker's end of the socket.
inline constexpr int kWorkerSocketFd = 3;

// The folder a client shares with its workers ("--folder=PATH" on the worker's command
// line) has two parts: the jobs' inputs, which a confined worker may only read, and the
// work part, its only place to write: each worker's temporary folder and the jobs' outputs.
inline constexpr const char* kInputsPart = "in";
inline constexpr const char* kWorkPart = "work";
inline constexpr const char* kFolderOption = "--folder=";
// Asks a confined worker program whether the kernel can confine it, instead of serving
// jobs: it says "confined" or why not on its standard output and ends.
inline constexpr const char* kProbeOption = "--probe-confinement";
// Whether VELLUMDOCK_REQUIRE_CONFINEMENT=1 forbids a worker that cannot be confined to run
// its jobs; its client says so in the log.
bool confinementRequired();

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
// Throws std::runtime_error for a payload that is not such a list.
std::vector<std::string> unpackTexts(const std::string& payload);

// Writes all of data to a socket without raising SIGPIPE; false when the peer is gone.
bool sendAll(int fd, const std::string& data);

}  // namespace vd::worker
