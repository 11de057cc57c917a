// What the SVG converter hands the drawing component: the drawing's XML, unpacked when it
// came compressed (.svgz), and only when everything it shows is inside it. A drawing may
// name other files (a linked picture, a style sheet, an entity, an XInclude), which the
// drawing component would read with the server's rights and copy into the PDF: such a
// drawing is refused with the reference it makes, as is one too large, malformed, or no
// SVG at all.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vd {

// The largest drawing taken, packed or unpacked (64 MiB): far beyond what drawing programs
// write, and what the drawing component can still lay out within its memory bound.
inline constexpr std::size_t kLargestSvgDrawing = std::size_t{64} << 20;
// Elements nested deeper than this are refused: the drawing component descends them
// recursively.
inline constexpr int kDeepestSvgNesting = 512;

struct SvgVerdict {
  // The drawing's XML; empty when refused.
  std::string xml;
  // Why the drawing is not converted, as the end of a sentence about it ("refers to the
  // file ..."); nothing when it is taken.
  std::optional<std::string> refusal;
};

// The checks on a drawing's bytes, packed or not.
SvgVerdict CheckSvgDrawing(std::string_view bytes);

// Reads the drawing at path and checks it; throws EngineError naming the file and the
// reason it is refused.
std::string ReadSvgDrawing(const std::string& path);

}  // namespace vd
