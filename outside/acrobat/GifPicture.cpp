#include "outside/acrobat/GifPicture.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace vd {
namespace {

// A screen larger than this is left to Qt's reader, which refuses it.
constexpr long long kMostPixels = 1ll << 27;

struct Source {
  std::string_view bytes;
  std::size_t position = 0;
};

int readBytes(GifFileType* gif, GifByteType* buffer, int size) {
  auto& source = *static_cast<Source*>(gif->UserData);
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(size, 0)),
                                                  source.bytes.size() - source.position);
  std::memcpy(buffer, source.bytes.data() + source.position, count);
  source.position += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

// Rows in the order an interlaced picture stores them: every eighth from 0, every eighth
// from 4, every fourth from 2, every second from 1.
bool readRows(GifFileType* gif, QImage& picture, bool interlaced) {
  const int height = picture.height();
  const int width = picture.width();
  if (!interlaced) {
    for (int y = 0; y < height; ++y) {
      if (DGifGetLine(gif, picture.scanLine(y), width) != GIF_OK) return false;
    }
    return true;
  }
  constexpr int kStart[] = {0, 4, 2, 1};
  constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) {
      if (DGifGetLine(gif, picture.scanLine(y), width) != GIF_OK) return false;
    }
  }
  return true;
}

}  // namespace

bool LooksLikeGif(std::string_view bytes) {
  return bytes.size() >= 6 && (bytes.substr(0, 6) == "GIF87a" || bytes.substr(0, 6) == "GIF89a");
}

std::optional<QImage> ReadSingleGifPicture(std::string_view bytes) {
  if (!LooksLikeGif(bytes)) return std::nullopt;
  Source source{bytes, 0};
  int error = 0;
  const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, readBytes, &error));
  if (!gif) return std::nullopt;
  const int width = gif->SWidth;
  const int height = gif->SHeight;
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMostPixels) return std::nullopt;

  std::optional<QImage> picture;
  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK) return std::nullopt;
    if (record == TERMINATE_RECORD_TYPE) break;
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) != GIF_OK) return std::nullopt;
      // The control block before the picture names its clear palette entry.
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4 && !picture) {
        transparent = (block[1] & 1) != 0 ? block[4] : -1;
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) != GIF_OK) return std::nullopt;
      }
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) return std::nullopt;
    if (picture) return std::nullopt;  // a second picture: an animation
    if (DGifGetImageDesc(gif.get()) != GIF_OK) return std::nullopt;
    const GifImageDesc& frame = gif->Image;
    if (frame.Left != 0 || frame.Top != 0 || frame.Width != width || frame.Height != height) return std::nullopt;
    const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || colours->ColorCount < 1 || colours->ColorCount > 256) return std::nullopt;
    QImage indexed(width, height, QImage::Format_Indexed8);
    if (indexed.isNull() || !readRows(gif.get(), indexed, frame.Interlace)) return std::nullopt;
    QList<QRgb> table;
    for (int i = 0; i < colours->ColorCount; ++i) {
      const GifColorType& colour = colours->Colors[i];
      table.push_back(qRgba(colour.Red, colour.Green, colour.Blue, i == transparent ? 0 : 255));
    }
    // An index past the palette has no colour of its own; Qt's reader decides what it shows.
    for (int y = 0; y < height; ++y) {
      const uchar* line = indexed.constScanLine(y);
      if (*std::max_element(line, line + width) >= colours->ColorCount) return std::nullopt;
    }
    indexed.setColorTable(table);
    picture = std::move(indexed);
  }
  return picture;
}

}  // namespace vd
