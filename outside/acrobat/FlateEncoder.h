// Flate streams for image samples. Continuous-tone rows get a PNG filter each (the one
// that leaves the smallest differences, as PNG encoders choose), so the compressor sees
// what little changes from pixel to pixel; palette and bilevel rows go in as they are,
// where filters only hurt. The compression level depends on the size (measured on
// photos, palettes and masks with libdeflate: above 1 MiB level 6 is within 1% of level
// 9 at 60% of its time, and level 10 costs four times as much for 6%; below, level 10
// takes a few milliseconds).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vd {

// height rows of rowBytes each, filtered for pixels of bytesPerPixel bytes (0: no
// filter). The result is what a /FlateDecode stream holds; with a filter its
// /DecodeParms need /Predictor 15.
std::string DeflateRows(std::string_view rows, std::size_t rowBytes, int bytesPerPixel);

// The compression level for so many bytes of samples.
int FlateLevelFor(std::size_t bytes);

}  // namespace vd
