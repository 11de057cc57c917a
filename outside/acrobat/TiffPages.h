// TIFF pages through libtiff, for the files Qt's TIFF reader gives up on: it refuses a
// tiled deep image whose one tile holds more bytes than the whole picture (small pictures
// in 256 x 256 tiles, as some editors write them), it cannot open big TIFF, and it knows
// fewer sample layouts. Deep grey and RGB keep their 16 bits; every other layout libtiff
// understands comes out as 8-bit RGBA. Bilevel CCITT pages (faxes, scans) are not decoded
// at all where their code stream can go into a PDF as it is.
#pragma once

#include <QImage>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outside/acrobat/ImageFacts.h"

struct tiff;

namespace vd {

struct TiffPage {
  QImage picture;
  std::optional<Resolution> resolution;  // from the page's own tags, when it has them
};

// A bilevel page as a CCITT Group 4 code stream (first bit in the high bit of a byte).
struct FaxPage {
  std::string data;
  int width = 0;
  int height = 0;
  bool blackIs1 = false;  // a one-bit of the decoded rows is black (the page says black is zero)
  bool asStored = false;  // the file's own bytes; otherwise coded anew from the decoded rows
  std::optional<Resolution> resolution;
};

// A page of the four process inks as the file holds its samples (0 no ink, the largest
// value full ink, as PDF's DeviceCMYK reads them): pixels interleaved, rows top to bottom,
// 16-bit samples big-endian.
struct CmykPage {
  std::string samples;
  std::string alpha;  // an unassociated alpha, one sample a pixel of the same depth; empty for none
  int width = 0;
  int height = 0;
  int bits = 8;
  std::optional<Resolution> resolution;
};

class TiffPages {
 public:
  // bytes must outlive the object. Throws std::runtime_error with libtiff's reason when the
  // file is no TIFF or its first directory is damaged.
  explicit TiffPages(std::string_view bytes);
  ~TiffPages();
  TiffPages(const TiffPages&) = delete;
  TiffPages& operator=(const TiffPages&) = delete;

  // The pages in the file, at most mostPages.
  int pageCount(int mostPages);
  // Page index (from 0) as Group 4 data when it is bilevel and CCITT-coded (Modified
  // Huffman, Group 3 or 4) upright: Group 4 in one strip as stored (its bits turned
  // round when the file fills bytes from the low bit), every other such page decoded
  // and coded anew as one Group 4 strip. Nothing for other pages.
  std::optional<FaxPage> faxPage(int index);
  // Page index as CMYK samples, unchanged, when it is a CMYK page of 8 or 16 bits a sample
  // (any compression, in strips or tiles, its samples interleaved or in planes) without a
  // premultiplied alpha. Nothing for other pages, which decode() turns into RGB.
  std::optional<CmykPage> cmykPage(int index);
  // Page index decoded. Throws std::runtime_error naming the page when it cannot be
  // decoded: a damaged page is an error, never a missing page.
  TiffPage decode(int index);
  std::optional<Resolution> resolutionOf(int index);
  // More than 8 bits a sample: Qt's reader would give such a page only 8.
  bool isDeep(int index);

  // The reader's state between libtiff's callbacks; public for those callbacks only.
  struct Source {
    std::string_view bytes;
    std::uint64_t position = 0;
    std::string firstError;
  };

 private:
  void select(int index);
  TiffPage readPage();
  std::optional<Resolution> resolution();
  QImage readDeepPage(int colours, bool alpha, bool premultiplied, bool inverted);
  QImage readAsRgba();
  std::string readInterleaved(std::uint32_t width, std::uint32_t height, int samplesPerPixel, int sampleBytes);
  [[noreturn]] void fail(const std::string& what);

  Source source_;
  ::tiff* tiff_ = nullptr;
};

}  // namespace vd
