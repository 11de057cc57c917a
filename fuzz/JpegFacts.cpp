// The JPEG header reader, which decides whether a file's data goes into a PDF as it is.
#include "fuzz/FuzzTargets.h"

#include "outside/acrobat/ImageFacts.h"

namespace vd::fuzz {

int FuzzJpegFacts(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = BytesOf(data, size);
  std::string problem;
  const std::optional<JpegFacts> facts = ReadJpegFacts(bytes, problem);
  if (!facts) {
    Require(!problem.empty(), "a JPEG that is refused says why");
    return 0;
  }
  Require(LooksLikeJpeg(bytes), "only what looks like a JPEG is read as one");
  Require(facts->width >= 1 && facts->height >= 1, "an accepted JPEG has a size");
  Require(facts->components == 1 || facts->components == 3 || facts->components == 4,
          "an accepted JPEG has 1, 3 or 4 components");
  Require(facts->quarterTurns >= 0 && facts->quarterTurns <= 3, "the orientation is a quarter turn");
  Require(!facts->adobeInvertedCmyk || facts->components == 4, "only CMYK is inverted");
  if (facts->resolution) Require(facts->resolution->x > 0 && facts->resolution->y > 0, "a resolution is positive");
  return 0;
}

}  // namespace vd::fuzz
