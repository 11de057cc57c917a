// The text printer's command line, one argument text as a hidden start hands it over:
// `/p "file"` (or `-p`, either case). The file name runs to the last quote of the text, so
// blanks, quotes, a leading dash and any bytes are part of it; without quotes it is the rest
// of the text, as a name with blanks was often written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vd {

struct NotepadCommand {
  std::string file;
};

// Nothing when the text does not ask to print a named file.
std::optional<NotepadCommand> parseNotepadCommand(std::string_view text);

}  // namespace vd
