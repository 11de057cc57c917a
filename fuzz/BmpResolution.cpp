// The BMP header's resolution and the quick looks that tell image kinds apart.
#include "fuzz/FuzzTargets.h"

#include "outside/acrobat/ImageFacts.h"

namespace vd::fuzz {

int FuzzBmpResolution(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = BytesOf(data, size);
  if (const std::optional<Resolution> resolution = ReadBmpResolution(bytes)) {
    Require(bytes.compare(0, 2, "BM") == 0, "only a BMP has a BMP resolution");
    Require(resolution->x > 0 && resolution->y > 0, "a resolution is positive");
  }
  const int kinds = static_cast<int>(LooksLikeJpeg(bytes)) + static_cast<int>(LooksLikePng(bytes)) +
                    static_cast<int>(LooksLikeMetafile(bytes));
  Require(kinds <= 1, "a file looks like one kind at most");
  return 0;
}

}  // namespace vd::fuzz
