// The large images the image benchmark converts, made at bench time from a sample photo:
// a 2400 x 1600 photo (as JPEG, PNG and LZW TIFF, and as a PNG with an alpha channel),
// a 2100 x 2100 palette GIF and a ten-page A4 fax at 300 dpi in CCITT G4.
#pragma once

#include <string>
#include <vector>

namespace vd::bench {

struct SampleFile {
  std::string label;
  std::string path;
};

// Writes them into folder, from the photo at seedPhoto. Throws std::runtime_error when
// one cannot be written.
std::vector<SampleFile> MakeLargeSamples(const std::string& seedPhoto, const std::string& folder);

}  // namespace vd::bench
