#include "outside/ocr/RecognitionPictures.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>

namespace vd {
namespace {

// A file of ours in a private folder, every write checked.
class PictureFile {
 public:
  explicit PictureFile(std::string path) : path_(std::move(path)), file_(std::fopen(path_.c_str(), "wbx")) {
    if (file_ == nullptr) fail();
  }
  // A file not closed whole is removed.
  ~PictureFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!kept_) std::remove(path_.c_str());
  }
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;

  void write(const void* data, std::size_t length) {
    if (file_ != nullptr && length > 0 && std::fwrite(data, 1, length, file_) != length) fail();
  }
  void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
  // The path once everything is written; "" with the reason otherwise.
  std::string close(std::string& why) {
    if (file_ != nullptr) {
      if (std::fclose(file_) != 0) fail();
      file_ = nullptr;
    }
    if (!error_.empty()) {
      why = "The page's picture cannot be written for recognition: " + error_ + ".";
      return "";
    }
    kept_ = true;
    return path_;
  }

 private:
  void fail() {
    if (error_.empty()) error_ = std::strerror(errno);
  }
  std::string path_;
  std::FILE* file_;
  std::string error_;
  bool kept_ = false;
};

// Stream data as it arrives, into the file.
class FilePipeline : public Pipeline {
 public:
  explicit FilePipeline(PictureFile& file) : Pipeline("picture file", nullptr), file_(file) {}
  void write(unsigned char const* data, size_t length) override { file_.write(data, length); }
  void finish() override {}

 private:
  PictureFile& file_;
};

std::vector<std::string> filtersOf(QPDFObjectHandle dictionary) {
  std::vector<std::string> names;
  QPDFObjectHandle filter = dictionary.getKey("/Filter");
  if (filter.isName()) names.push_back(filter.getName());
  if (filter.isArray()) {
    for (QPDFObjectHandle item : filter.aitems()) names.push_back(item.isName() ? item.getName() : "?");
  }
  return names;
}

QPDFObjectHandle firstParameters(QPDFObjectHandle dictionary) {
  QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
  if (parameters.isArray() && parameters.getArrayNItems() > 0) parameters = parameters.getArrayItem(0);
  return parameters.isDictionary() ? parameters : QPDFObjectHandle::newDictionary();
}

int integerOr(QPDFObjectHandle dictionary, const char* key, int fallback) {
  QPDFObjectHandle value = dictionary.getKey(key);
  return value.isInteger() ? value.getIntValueAsInt() : fallback;
}

bool boolOr(QPDFObjectHandle dictionary, const char* key, bool fallback) {
  QPDFObjectHandle value = dictionary.getKey(key);
  return value.isBool() ? value.getBoolValue() : fallback;
}

// A /Decode of [1 0]: the samples' meaning turned round.
bool decodeInverted(QPDFObjectHandle dictionary) {
  QPDFObjectHandle decode = dictionary.getKey("/Decode");
  double first = 0, second = 1;
  return decode.isArray() && decode.getArrayNItems() >= 2 && decode.getArrayItem(0).getValueAsNumber(first) &&
         decode.getArrayItem(1).getValueAsNumber(second) && first > second;
}

void put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// CCITT fax data in a TIFF file of one strip, as it is.
std::string writeFaxTiff(QPDFObjectHandle image, const std::string& stem, std::string& why) {
  QPDFObjectHandle dictionary = image.getDict();
  QPDFObjectHandle parameters = firstParameters(dictionary);
  const int k = integerOr(parameters, "/K", 0);
  const bool lineEnds = boolOr(parameters, "/EndOfLine", false);
  const bool aligned = boolOr(parameters, "/EncodedByteAlign", false);
  // TIFF's Group 3 rows start with their end-of-line codes, and its Group 4 has no
  // byte-aligned rows.
  if ((k >= 0 && !lineEnds) || (k < 0 && aligned)) {
    why = "The page's picture is fax data of a kind the recogniser does not read.";
    return "";
  }
  const int columns = integerOr(parameters, "/Columns", 1728);
  int rows = integerOr(parameters, "/Rows", 0);
  if (rows <= 0) rows = integerOr(dictionary, "/Height", 0);
  if (columns <= 0 || rows <= 0) {
    why = "The page's fax picture has no size.";
    return "";
  }
  const std::shared_ptr<Buffer> data = image.getRawStreamData();
  // With black as 1 the code stream's white runs are the picture's black.
  const bool blackIs1 = boolOr(parameters, "/BlackIs1", false) != decodeInverted(dictionary);

  struct Entry {
    unsigned tag, type;
    std::uint32_t value;
  };
  constexpr unsigned kShort = 3, kLong = 4;
  std::vector<Entry> entries = {
      {256, kLong, static_cast<std::uint32_t>(columns)},
      {257, kLong, static_cast<std::uint32_t>(rows)},
      {258, kShort, 1},
      {259, kShort, k < 0 ? 4u : 3u},
      {262, kShort, blackIs1 ? 1u : 0u},
      {273, kLong, 0},  // the strip's offset, below
      {277, kShort, 1},
      {278, kLong, static_cast<std::uint32_t>(rows)},
      {279, kLong, static_cast<std::uint32_t>(data->getSize())},
  };
  if (k >= 0) entries.push_back({292, kLong, (k > 0 ? 1u : 0u) | (aligned ? 4u : 0u)});
  const std::uint32_t stripOffset = static_cast<std::uint32_t>(8 + 2 + 12 * entries.size() + 4);
  entries[5].value = stripOffset;
  std::string header = "II";
  put16(header, 42);
  put32(header, 8);
  put16(header, static_cast<unsigned>(entries.size()));
  for (const Entry& entry : entries) {
    put16(header, entry.tag);
    put16(header, entry.type);
    put32(header, 1);
    if (entry.type == kShort) {
      put16(header, entry.value);
      put16(header, 0);
    } else {
      put32(header, entry.value);
    }
  }
  put32(header, 0);  // no next page
  PictureFile file(stem + ".tif");
  file.write(header);
  file.write(data->getBuffer(), data->getSize());
  return file.close(why);
}

// How a picture's samples become grey.
struct Colours {
  enum class Kind { Grey, Rgb, Cmyk, Lab, Ink };
  Kind kind = Kind::Grey;
  int components = 1;  // samples a pixel as stored (1 for an indexed picture)
  bool indexed = false;
  int paletteComponents = 0;
  std::string palette;
  int highest = 0;  // the largest index of a palette
};

// A colour space without its palette: the kind and its number of components.
std::optional<std::pair<Colours::Kind, int>> baseSpace(QPDFObjectHandle space) {
  if (space.isArray() && space.getArrayNItems() == 1) space = space.getArrayItem(0);
  if (space.isName()) {
    const std::string name = space.getName();
    if (name == "/DeviceGray" || name == "/G" || name == "/CalGray") return std::pair{Colours::Kind::Grey, 1};
    if (name == "/DeviceRGB" || name == "/RGB" || name == "/CalRGB") return std::pair{Colours::Kind::Rgb, 3};
    if (name == "/DeviceCMYK" || name == "/CMYK") return std::pair{Colours::Kind::Cmyk, 4};
    return std::nullopt;
  }
  if (!space.isArray() || space.getArrayNItems() < 2 || !space.getArrayItem(0).isName()) return std::nullopt;
  const std::string family = space.getArrayItem(0).getName();
  if (family == "/CalGray") return std::pair{Colours::Kind::Grey, 1};
  if (family == "/CalRGB") return std::pair{Colours::Kind::Rgb, 3};
  if (family == "/Lab") return std::pair{Colours::Kind::Lab, 3};
  if (family == "/Separation") return std::pair{Colours::Kind::Ink, 1};
  if (family == "/ICCBased") {
    QPDFObjectHandle profile = space.getArrayItem(1);
    const int n = profile.isStream() ? integerOr(profile.getDict(), "/N", 0) : 0;
    if (n == 1) return std::pair{Colours::Kind::Grey, 1};
    if (n == 3) return std::pair{Colours::Kind::Rgb, 3};
    if (n == 4) return std::pair{Colours::Kind::Cmyk, 4};
    if (profile.isStream()) return baseSpace(profile.getDict().getKey("/Alternate"));
  }
  return std::nullopt;
}

std::optional<Colours> coloursOf(QPDFObjectHandle dictionary) {
  Colours colours;
  if (boolOr(dictionary, "/ImageMask", false)) return colours;
  QPDFObjectHandle space = dictionary.getKey("/ColorSpace");
  if (space.isArray() && space.getArrayNItems() == 4 && space.getArrayItem(0).isNameAndEquals("/Indexed")) {
    const auto base = baseSpace(space.getArrayItem(1));
    QPDFObjectHandle lookup = space.getArrayItem(3);
    if (!base || !space.getArrayItem(2).isInteger()) return std::nullopt;
    colours.kind = base->first;
    colours.paletteComponents = base->second;
    colours.indexed = true;
    colours.highest = std::clamp(space.getArrayItem(2).getIntValueAsInt(), 0, 255);
    if (lookup.isString()) {
      colours.palette = lookup.getStringValue();
    } else if (lookup.isStream()) {
      const std::shared_ptr<Buffer> table = lookup.getStreamData(qpdf_dl_generalized);
      colours.palette.assign(reinterpret_cast<const char*>(table->getBuffer()), table->getSize());
    } else {
      return std::nullopt;
    }
    colours.palette.resize(static_cast<std::size_t>(colours.highest + 1) * colours.paletteComponents, '\0');
    return colours;
  }
  const auto base = baseSpace(space);
  if (!base) return std::nullopt;
  colours.kind = base->first;
  colours.components = base->second;
  return colours;
}

int greyOf(Colours::Kind kind, const unsigned char* v) {
  switch (kind) {
    case Colours::Kind::Grey:
    case Colours::Kind::Lab:  // its lightness
      return v[0];
    case Colours::Kind::Ink:
      return 255 - v[0];
    case Colours::Kind::Rgb:
      return (299 * v[0] + 587 * v[1] + 114 * v[2] + 500) / 1000;
    case Colours::Kind::Cmyk:
      return 255 - std::min(255, (30 * v[0] + 59 * v[1] + 11 * v[2]) / 100 + v[3]);
  }
  return 0;
}

// Decoded samples, row by row, as a PGM file of grey or (one bit a pixel, one component)
// a PBM file of black and white.
class PnmRows : public Pipeline {
 public:
  PnmRows(PictureFile& file, int width, int height, int bits, Colours colours, bool inverted)
      : Pipeline("recognition picture", nullptr),
        file_(file),
        width_(width),
        height_(height),
        bits_(bits),
        colours_(std::move(colours)),
        inverted_(inverted),
        bilevel_(bits == 1 && colours_.components == 1 && !colours_.indexed) {
    rowBytes_ = (static_cast<std::size_t>(width) * colours_.components * bits + 7) / 8;
    row_.reserve(rowBytes_);
    out_.resize(bilevel_ ? rowBytes_ : static_cast<std::size_t>(width));
    // In PBM a one is black; in a one-bit grey picture, or a stencil mask, a zero is (a
    // zero of a mask paints), and in a separation a one is full ink.
    flipBits_ = colours_.kind == Colours::Kind::Ink ? inverted : !inverted;
    file_.write((bilevel_ ? "P4\n" : "P5\n") + std::to_string(width) + " " + std::to_string(height) +
                (bilevel_ ? "\n" : "\n255\n"));
  }
  void write(unsigned char const* data, size_t length) override {
    while (length > 0 && rows_ < height_) {
      const std::size_t take = std::min(length, rowBytes_ - row_.size());
      row_.append(reinterpret_cast<const char*>(data), take);
      data += take;
      length -= take;
      if (row_.size() == rowBytes_) {
        emitRow();
        row_.clear();
      }
    }
  }
  void finish() override {
    // A picture whose data ends early is recognised as far as it goes: the rest is white.
    row_.clear();
    std::fill(out_.begin(), out_.end(), static_cast<char>(bilevel_ ? 0 : 255));
    for (; rows_ < height_; ++rows_) file_.write(out_.data(), out_.size());
  }

 private:
  unsigned sample(std::size_t index) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(row_.data());
    switch (bits_) {
      case 8:
        return bytes[index];
      case 16:
        return bytes[2 * index];
      default: {
        const std::size_t bit = index * static_cast<std::size_t>(bits_);
        const unsigned mask = (1u << bits_) - 1;
        return (bytes[bit / 8] >> (8 - bits_ - static_cast<int>(bit % 8))) & mask;
      }
    }
  }
  // A sample as 0..255.
  unsigned char level(unsigned value) const {
    if (bits_ >= 8) return static_cast<unsigned char>(value);
    return static_cast<unsigned char>(value * 255 / ((1u << bits_) - 1));
  }
  void emitRow() {
    if (bilevel_) {
      for (std::size_t i = 0; i < rowBytes_; ++i) {
        out_[i] = static_cast<char>(flipBits_ ? ~static_cast<unsigned char>(row_[i]) : row_[i]);
      }
    } else {
      unsigned char values[4] = {0, 0, 0, 0};
      for (int x = 0; x < width_; ++x) {
        int grey;
        if (colours_.indexed) {
          const unsigned index = std::min(sample(static_cast<std::size_t>(x)), static_cast<unsigned>(colours_.highest));
          const auto* entry = reinterpret_cast<const unsigned char*>(colours_.palette.data()) +
                              static_cast<std::size_t>(index) * colours_.paletteComponents;
          grey = greyOf(colours_.kind, entry);
        } else {
          for (int c = 0; c < colours_.components; ++c) {
            values[c] = level(sample(static_cast<std::size_t>(x) * colours_.components + c));
          }
          grey = greyOf(colours_.kind, values);
          if (inverted_ && colours_.components == 1) grey = 255 - grey;
        }
        out_[static_cast<std::size_t>(x)] = static_cast<char>(grey);
      }
    }
    file_.write(out_.data(), out_.size());
    ++rows_;
  }

  PictureFile& file_;
  int width_, height_, bits_;
  Colours colours_;
  bool inverted_;
  bool bilevel_;
  bool flipBits_ = false;
  std::size_t rowBytes_ = 0;
  std::string row_;
  std::string out_;
  int rows_ = 0;
};

std::string writeDecoded(QPDFObjectHandle image, const std::string& stem, std::string& why) {
  QPDFObjectHandle dictionary = image.getDict();
  const int width = integerOr(dictionary, "/Width", 0);
  const int height = integerOr(dictionary, "/Height", 0);
  const bool mask = boolOr(dictionary, "/ImageMask", false);
  const int bits = mask ? 1 : integerOr(dictionary, "/BitsPerComponent", 8);
  const std::optional<Colours> colours = coloursOf(dictionary);
  if (width <= 0 || height <= 0 || (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)) {
    why = "The page's picture has no size or sample depth that can be read.";
    return "";
  }
  if (!colours) {
    why = "The page's picture has colours the recogniser cannot take to grey.";
    return "";
  }
  PictureFile file(stem + ".pnm");
  PnmRows rows(file, width, height, bits, *colours, decodeInverted(dictionary));
  bool decoded = false;
  try {
    decoded = image.pipeStreamData(&rows, 0, qpdf_dl_all, true, false);
  } catch (const std::exception&) {
    decoded = false;
  }
  if (!decoded) {
    why = "The page's picture cannot be decoded.";
    return "";
  }
  return file.close(why);
}

}  // namespace

std::string WritePictureForRecognition(QPDFObjectHandle image, const std::string& stem, std::string& why) {
  QPDFObjectHandle dictionary = image.getDict();
  const std::vector<std::string> filters = filtersOf(dictionary);
  for (const std::string& filter : filters) {
    if (filter == "/JBIG2Decode" || filter == "/JPXDecode" || (filter == "/CCITTFaxDecode" && filters.size() > 1)) {
      why = "The page's picture is coded as " + filter.substr(1) + ", which the recogniser does not read.";
      return "";
    }
  }
  try {
    if (filters == std::vector<std::string>{"/DCTDecode"}) {
      // The JPEG file as stored: the recogniser decodes it in its own process.
      PictureFile file(stem + ".jpg");
      FilePipeline pipeline(file);
      image.pipeStreamData(&pipeline, 0, qpdf_dl_none, true, false);
      return file.close(why);
    }
    if (filters == std::vector<std::string>{"/CCITTFaxDecode"}) return writeFaxTiff(image, stem, why);
    return writeDecoded(image, stem, why);
  } catch (const std::exception& error) {
    why = std::string("The page's picture cannot be read: ") + error.what();
    return "";
  }
}

}  // namespace vd
