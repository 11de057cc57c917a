// The text printer's reading of a dropped file: the judgement whether it is text, the
// decoding of what is, and the command line that names it.
#include "fuzz/FuzzTargets.h"

#include "outside/notepad/NotepadCommand.h"
#include "outside/notepad/TextContent.h"

namespace vd::fuzz {
namespace {

bool isUtf8(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
    }
    at += length;
  }
  return true;
}

}  // namespace

int FuzzTextContent(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = BytesOf(data, size);
  TextSniffer whole;
  whole.feed(bytes);
  const bool text = !whole.notTextReason().has_value();
  // However the file arrives in pieces, the verdict is the same.
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, size / 2 + 1}) {
    TextSniffer pieces;
    for (std::size_t at = 0; at < size; at += piece) pieces.feed(std::string_view(bytes).substr(at, piece));
    Require(!pieces.notTextReason().has_value() == text, "the verdict does not depend on how the bytes arrive");
  }
  if (bytes.find('\0') != std::string::npos && !bytes.starts_with("\xFF\xFE") && !bytes.starts_with("\xFE\xFF")) {
    Require(!text, "NUL bytes outside UTF-16 are not text");
  }
  const std::string decoded = decodeText(bytes);
  Require(isUtf8(decoded), "decoded text is UTF-8");
  Require(decoded.size() <= bytes.size() * 3 + 3, "decoding grows a text by at most three bytes a byte");

  if (const auto command = parseNotepadCommand(bytes)) {
    Require(!command->file.empty(), "a command names a file");
    Require(bytes.find(command->file) != std::string::npos, "the file name comes from the command line");
  }
  if (!bytes.empty()) {
    // Quotes in the name included: a file of this system may be named so.
    const auto quoted = parseNotepadCommand("/p \"" + bytes + "\"");
    Require(quoted && quoted->file == bytes, "a quoted name arrives whole");
  }
  return 0;
}

}  // namespace vd::fuzz
