// The TIFF directory walk that finds each page's resolution.
#include "fuzz/FuzzTargets.h"

#include <cmath>

#include "outside/acrobat/ImageFacts.h"

namespace vd::fuzz {

int FuzzTiffResolutions(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = BytesOf(data, size);
  const std::vector<std::optional<Resolution>> pages = ReadTiffResolutions(bytes);
  // Each page has a directory of its own, at an offset inside the file.
  Require(pages.size() < bytes.size() || pages.empty(), "no more pages than directory offsets in the file");
  for (const std::optional<Resolution>& resolution : pages) {
    if (!resolution) continue;
    Require(resolution->x > 0 && resolution->y > 0, "a resolution is positive");
    Require(std::isfinite(resolution->x) && std::isfinite(resolution->y), "a resolution is finite");
  }
  return 0;
}

}  // namespace vd::fuzz
