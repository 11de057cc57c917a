#include "outside/notepad/NotepadCommand.h"

namespace vd {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<NotepadCommand> parseNotepadCommand(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && isBlank(text[at])) ++at;
  if (at + 2 > text.size() || (text[at] != '/' && text[at] != '-') || (text[at + 1] != 'p' && text[at + 1] != 'P')) {
    return std::nullopt;
  }
  at += 2;
  if (at < text.size() && !isBlank(text[at]) && text[at] != '"') return std::nullopt;
  while (at < text.size() && isBlank(text[at])) ++at;
  std::string_view name;
  if (at < text.size() && text[at] == '"') {
    // The name runs to the last quote: a name of this system may hold quotes itself, and
    // ending it at the first one would print another file, the one its name begins with.
    std::string_view rest = text.substr(at + 1);
    while (!rest.empty() && isBlank(rest.back())) rest.remove_suffix(1);
    if (!rest.empty() && rest.back() == '"') rest.remove_suffix(1);
    name = rest;
  } else {
    name = text.substr(at);
    while (!name.empty() && isBlank(name.back())) name.remove_suffix(1);
  }
  if (name.empty()) return std::nullopt;
  return NotepadCommand{std::string(name)};
}

}  // namespace vd
