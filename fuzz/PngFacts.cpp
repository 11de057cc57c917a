// The PNG chunk reader, and the checks that decide whether its compressed rows go into a
// PDF as they are.
#include "fuzz/FuzzTargets.h"

#include "outside/acrobat/ImageFacts.h"

namespace vd::fuzz {

int FuzzPngFacts(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = BytesOf(data, size);
  std::string problem;
  const std::optional<PngFacts> facts = ReadPngFacts(bytes, problem);
  if (!facts) {
    Require(!problem.empty(), "a PNG that is refused says why");
    return 0;
  }
  Require(LooksLikePng(bytes), "only what looks like a PNG is read as one");
  Require(facts->width >= 1 && facts->height >= 1, "an accepted PNG has a size");
  Require(!facts->compressedData.empty(), "an accepted PNG has image data");
  Require(facts->compressedData.size() <= bytes.size(), "the image data comes from the file");
  if (facts->resolution) Require(facts->resolution->x > 0 && facts->resolution->y > 0, "a resolution is positive");
  if (CanEmbedPngData(*facts)) PngDataIsComplete(*facts);
  return 0;
}

}  // namespace vd::fuzz
