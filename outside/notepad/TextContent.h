// What the text printer makes of a file's bytes. A file is text when it is UTF-16 with
// its byte-order mark, or 8-bit text: UTF-8 (with or without its mark), Latin-1, or a
// mixture, as files edited on several systems are. The printable positions of the
// Windows code page stand where Latin-1 has control codes (0x80..0x9F), so curly quotes
// and the euro sign of such files print as themselves.
//
// It is not text when it holds a NUL byte outside a UTF-16 text, or when more than one
// byte (or UTF-16 unit) in ten is a control code that no text holds: archives,
// executables and images are refused instead of being printed as garbage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vd {

// Judges a file's bytes as they come, in pieces of any size.
class TextSniffer {
 public:
  void feed(std::string_view bytes);
  // Nothing when the bytes seen so far (the whole file, once everything is fed) are
  // text; otherwise why not, as words that follow "The file X ...".
  std::optional<std::string> notTextReason() const;
  // A NUL byte settles it: no need to read further.
  bool settled() const { return sawNul_; }

 private:
  // Reads the byte-order mark from the first bytes (and removes it).
  void begin(std::string& data);
  void consume(std::string_view data, bool atEnd);

  bool started_ = false;
  bool utf16_ = false;
  bool bigEndian_ = false;
  // Bytes of a sequence that the last piece ended inside.
  std::string pending_;
  std::uint64_t units_ = 0;
  std::uint64_t strange_ = 0;
  bool sawNul_ = false;
};

// Judges the file at path; nothing when it is text. Throws FileError when it cannot be read.
std::optional<std::string> notTextReasonOfFile(const std::string& path);

// The file's text as UTF-8, decoded as described above (marks removed; invalid UTF-16
// units become U+FFFD). Control codes are kept for the typesetter.
std::string decodeText(std::string_view bytes);

}  // namespace vd
