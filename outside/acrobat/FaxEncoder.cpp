#include "outside/acrobat/FaxEncoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace vd {
namespace {

// A TIFF file growing in memory.
struct Sink {
  std::string bytes;
  std::uint64_t position = 0;
};

Sink& sinkOf(thandle_t handle) { return *static_cast<Sink*>(handle); }

tmsize_t readBytes(thandle_t handle, void* buffer, tmsize_t size) {
  Sink& sink = sinkOf(handle);
  if (size <= 0 || sink.position >= sink.bytes.size()) return 0;
  const std::uint64_t count = std::min<std::uint64_t>(sink.bytes.size() - sink.position, static_cast<std::uint64_t>(size));
  std::memcpy(buffer, sink.bytes.data() + sink.position, static_cast<std::size_t>(count));
  sink.position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t writeBytes(thandle_t handle, void* buffer, tmsize_t size) {
  Sink& sink = sinkOf(handle);
  if (size < 0) return -1;
  const std::uint64_t end = sink.position + static_cast<std::uint64_t>(size);
  if (end > sink.bytes.size()) sink.bytes.resize(static_cast<std::size_t>(end));
  std::memcpy(sink.bytes.data() + sink.position, buffer, static_cast<std::size_t>(size));
  sink.position = end;
  return size;
}

toff_t seekTo(thandle_t handle, toff_t offset, int whence) {
  Sink& sink = sinkOf(handle);
  const std::uint64_t base = whence == SEEK_CUR ? sink.position : whence == SEEK_END ? sink.bytes.size() : 0;
  sink.position = base + offset;
  return sink.position;
}

int closeNothing(thandle_t) { return 0; }
toff_t sizeOf(thandle_t handle) { return sinkOf(handle).bytes.size(); }
int mapNothing(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

}  // namespace

std::string EncodeGroup4(std::string_view rows, std::uint32_t width, std::uint32_t height, std::uint16_t photometric) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
  if (width == 0 || height == 0 || rows.size() != rowBytes * height) throw std::runtime_error("bad bilevel rows");
  Sink sink;
  TIFF* tiff = TIFFClientOpen("fax", "w", &sink, readBytes, writeBytes, seekTo, closeNothing, sizeOf, mapNothing,
                              unmapNothing);
  if (tiff == nullptr) throw std::runtime_error("cannot start the Group 4 coder");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
  std::vector<char> copy(rows.begin(), rows.end());  // the coder may scribble on its input
  if (TIFFWriteEncodedStrip(tiff, 0, copy.data(), static_cast<tmsize_t>(copy.size())) < 0) {
    TIFFClose(tiff);
    throw std::runtime_error("cannot code the page as Group 4");
  }
  std::uint64_t* offsets = nullptr;
  std::uint64_t* counts = nullptr;
  const bool located = TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) == 1 &&
                       TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) == 1 && offsets != nullptr &&
                       counts != nullptr;
  const std::uint64_t offset = located ? offsets[0] : 0;
  const std::uint64_t count = located ? counts[0] : 0;
  TIFFClose(tiff);
  if (!located || offset > sink.bytes.size() || count > sink.bytes.size() - offset) {
    throw std::runtime_error("cannot find the Group 4 data");
  }
  return sink.bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
}

}  // namespace vd
