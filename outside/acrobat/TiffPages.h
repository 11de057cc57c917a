// TIFF pages through libtiff, for the files Qt's TIFF reader gives up on: it refuses a
// tiled deep image whose one tile holds more bytes than the whole picture (small pictures
// in 256 x 256 tiles, as some editors write them), it cannot open big TIFF, and it knows
// fewer sample layouts. Deep grey and RGB keep their 16 bits; every other layout libtiff
// understands comes out as 8-bit RGBA.
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

class TiffPages {
 public:
  // bytes must outlive the object. Throws std::runtime_error with libtiff's reason when the
  // file is no TIFF or its first directory is damaged.
  explicit TiffPages(std::string_view bytes);
  ~TiffPages();
  TiffPages(const TiffPages&) = delete;
  TiffPages& operator=(const TiffPages&) = delete;

  // Every page in file order, at most mostPages of them. Throws std::runtime_error naming
  // the page when one cannot be decoded: a damaged page is an error, never a missing page.
  std::vector<TiffPage> readAll(int mostPages);

  // The reader's state between libtiff's callbacks; public for those callbacks only.
  struct Source {
    std::string_view bytes;
    std::uint64_t position = 0;
    std::string firstError;
  };

 private:
  TiffPage readPage();
  std::optional<Resolution> resolution();
  QImage readDeepPage(int colours, bool alpha, bool premultiplied, bool inverted);
  QImage readAsRgba();
  [[noreturn]] void fail(const std::string& what);

  Source source_;
  ::tiff* tiff_ = nullptr;
};

}  // namespace vd
