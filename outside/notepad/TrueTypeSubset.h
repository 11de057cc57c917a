// A TrueType font program cut down to the glyphs one font resource of the print stream
// shows, each reached by a one-byte code: the program keeps those glyphs (and the parts
// of composite glyphs), numbers them anew and maps code c to its glyph through a cmap of
// the symbolic kind (3,0 at 0xF000 + c, and 1,0 at c). A font with a single-byte code and
// a few hundred glyphs at most is what the Distiller reads fastest; a whole font reached
// by two-byte glyph numbers costs it time for every glyph it shows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vd {

class TrueTypeSubset {
 public:
  // A table of the whole font by its four-letter tag; "" when the font has none.
  using TableReader = std::function<std::string(const char* tag)>;

  // glyphs[c] is the glyph code c shows (at most 256). nullopt when the font is no
  // TrueType font (no glyf table, as in fonts with PostScript outlines) or its tables
  // are damaged.
  static std::optional<std::string> make(const TableReader& tables, const std::vector<std::uint16_t>& glyphs);
};

}  // namespace vd
