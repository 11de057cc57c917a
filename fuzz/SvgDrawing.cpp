// The SVG converter's checks of a dropped drawing: whatever the bytes, a verdict; a refusal
// says why and hands nothing on; a drawing taken stays within the bound and is taken again,
// as it is, when checked once more.
#include "fuzz/FuzzTargets.h"

#include "converters/svg/SvgDrawing.h"

namespace vd::fuzz {

int FuzzSvgDrawing(const std::uint8_t* data, std::size_t size) {
  const SvgVerdict verdict = CheckSvgDrawing(std::string_view(reinterpret_cast<const char*>(data), size));
  if (verdict.refusal) {
    Require(!verdict.refusal->empty(), "a refusal says why");
    Require(verdict.xml.empty(), "a refused drawing hands nothing on");
    return 0;
  }
  Require(verdict.xml.size() <= kLargestSvgDrawing, "a drawing taken is within the bound");
  const SvgVerdict again = CheckSvgDrawing(verdict.xml);
  Require(!again.refusal && again.xml == verdict.xml, "a drawing taken is taken again as it is");
  return 0;
}

}  // namespace vd::fuzz
