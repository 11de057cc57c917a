// What the image files say about themselves before any pixel is decoded: the JPEG and
// PNG facts that let their data go into a PDF unchanged, and the resolutions that set
// the page size (an image without a resolution is taken at 72 dpi, one pixel a point).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vd {

struct Resolution {
  double x = 72;
  double y = 72;
};

struct JpegFacts {
  int width = 0;
  int height = 0;
  int components = 0;
  // An Adobe APP14 marker on a four-component image: its CMYK is stored inverted.
  bool adobeInvertedCmyk = false;
  std::optional<Resolution> resolution;
  // Clockwise quarter turns the EXIF orientation asks the viewer for (0 to 3).
  int quarterTurns = 0;
};

// Nothing when the bytes are no JPEG a PDF can carry as it is; problem says why.
std::optional<JpegFacts> ReadJpegFacts(std::string_view bytes, std::string& problem);

struct PngFacts {
  int width = 0;
  int height = 0;
  int bitDepth = 0;
  int colourType = 0;
  bool interlaced = false;
  bool transparency = false;  // a tRNS chunk
  std::string palette;        // RGB triples
  std::optional<Resolution> resolution;
  std::string compressedData;  // the IDAT chunks joined
};

// Nothing when the file is damaged (bad CRC, missing chunks, truncated); problem says why.
std::optional<PngFacts> ReadPngFacts(std::string_view bytes, std::string& problem);
// True when the PNG's compressed rows can be the PDF image's data as they are.
bool CanEmbedPngData(const PngFacts& png);
// True when the compressed rows inflate to exactly the rows the header announces.
bool PngDataIsComplete(const PngFacts& png);

// The resolution in a BMP (or RLE) header, if it gives one.
std::optional<Resolution> ReadBmpResolution(std::string_view bytes);

bool LooksLikeJpeg(std::string_view bytes);
bool LooksLikePng(std::string_view bytes);
bool LooksLikeMetafile(std::string_view bytes);

}  // namespace vd
