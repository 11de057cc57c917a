// Images go into the PDF without loss: each page's image, read back from the PDF (its
// samples decoded by qpdf and looked up in its colour space, masks applied; fax data
// decoded by poppler's pdfimages), is pixel for pixel what Qt's readers decode from the
// file, colour and transparency alike. CCITT fax data goes in byte for byte.
#include <gif_lib.h>
#include <tiffio.h>

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <memory>
#include <sstream>

#include <qpdf/QPDF.hh>

#include "AssemblyFixture.h"
#include "platform/FileSystem.h"

namespace vd::test {
namespace {

class LosslessImagesTest : public AssemblyTest {
 protected:
  std::string convert(const std::string& image) {
    const std::string out = scratch("out.pdf");
    engine_.CreatePDFfromImageFile(out, image);
    return out;
  }

  // pdfimages -png of every image that is no soft mask, in page order.
  std::vector<QImage> extract(const std::string& pdf) {
    std::string listing;
    EXPECT_EQ(RunProgram("pdfimages", {"-list", pdf}, &listing), 0);
    const std::string prefix = scratchFolder("extracted" + std::to_string(++extractions_)) + "/img";
    EXPECT_EQ(RunProgram("pdfimages", {"-png", pdf, prefix}), 0);
    std::vector<QImage> pictures;
    std::istringstream lines(listing);
    std::string line;
    int index = 0;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      int page = 0;
      int number = 0;
      std::string type;
      if (!(fields >> page >> number >> type)) continue;
      char name[32];
      std::snprintf(name, sizeof name, "-%03d.png", index++);
      if (type == "image") pictures.emplace_back(QString::fromStdString(prefix + name));
    }
    return pictures;
  }

  int extractions_ = 0;
};

QPDFObjectHandle pageImage(QPDF& document, std::size_t index) {
  QPDFObjectHandle page = document.getAllPages().at(index);
  return page.getKey("/Resources").getKey("/XObject").getKey("/Im0");
}

std::string bytesOf(const std::shared_ptr<Buffer>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

// An image object's pixels at 16 bits a channel: samples as qpdf decodes them, grey, RGB
// or palette colour, a soft mask or a colour-key range as alpha.
QImage readBack(QPDFObjectHandle image) {
  QPDFObjectHandle dictionary = image.getDict();
  const int width = static_cast<int>(dictionary.getKey("/Width").getIntValue());
  const int height = static_cast<int>(dictionary.getKey("/Height").getIntValue());
  const int bits = static_cast<int>(dictionary.getKey("/BitsPerComponent").getIntValue());
  QPDFObjectHandle space = dictionary.getKey("/ColorSpace");
  const bool indexed = space.isArray();
  const std::string palette = indexed ? space.getArrayItem(3).getStringValue() : std::string();
  const int components = indexed || space.isNameAndEquals("/DeviceGray") ? 1 : 3;
  const std::string samples = bytesOf(image.getStreamData(qpdf_dl_all));
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * components * bits + 7) / 8;
  const auto sampleAt = [&](int x, int y, int c) {
    const std::size_t bit = (static_cast<std::size_t>(x) * components + c) * bits;
    const auto* row = reinterpret_cast<const unsigned char*>(samples.data()) + static_cast<std::size_t>(y) * rowBytes;
    if (bits == 16) return static_cast<unsigned>(row[bit / 8] << 8 | row[bit / 8 + 1]);
    return static_cast<unsigned>(row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
  };
  const auto wide = [&](unsigned value) { return static_cast<quint16>(value * 65535 / ((1u << bits) - 1)); };
  QImage alpha;
  if (QPDFObjectHandle softMask = dictionary.getKey("/SMask"); softMask.isStream()) alpha = readBack(softMask);
  QPDFObjectHandle key = dictionary.getKey("/Mask");
  QImage picture(width, height, QImage::Format_RGBA64);
  if (samples.size() < rowBytes * static_cast<std::size_t>(height)) return {};
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgba64*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x) {
      quint16 red = 0;
      quint16 green = 0;
      quint16 blue = 0;
      quint16 opacity = alpha.isNull() ? 65535 : reinterpret_cast<const QRgba64*>(alpha.constScanLine(y))[x].red();
      if (indexed) {
        const unsigned entry = sampleAt(x, y, 0);
        red = static_cast<quint16>(static_cast<unsigned char>(palette.at(entry * 3)) * 257);
        green = static_cast<quint16>(static_cast<unsigned char>(palette.at(entry * 3 + 1)) * 257);
        blue = static_cast<quint16>(static_cast<unsigned char>(palette.at(entry * 3 + 2)) * 257);
        if (key.isArray() && entry >= static_cast<unsigned>(key.getArrayItem(0).getIntValue()) &&
            entry <= static_cast<unsigned>(key.getArrayItem(1).getIntValue())) {
          opacity = 0;
        }
      } else {
        red = wide(sampleAt(x, y, 0));
        green = components == 3 ? wide(sampleAt(x, y, 1)) : red;
        blue = components == 3 ? wide(sampleAt(x, y, 2)) : red;
      }
      line[x] = QRgba64::fromRgba64(red, green, blue, opacity);
    }
  }
  return picture;
}

// Every frame as Qt decodes it (an icon: its largest picture).
std::vector<QImage> qtFrames(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  reader.setAutoTransform(false);
  std::vector<QImage> frames;
  for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
    QImage frame;
    if (!reader.read(&frame)) break;
    frames.push_back(frame);
    reader.jumpToNextImage();
  }
  if (reader.format() == "ico" || reader.format() == "cur") {
    frames = {*std::max_element(frames.begin(), frames.end(), [](const QImage& a, const QImage& b) {
      return a.width() * a.height() < b.width() * b.height();
    })};
  }
  return frames;
}

// Pixels whose colour or transparency differs, at 16 bits a channel when deep, else at
// 8; colour is not compared where the source is fully clear. A source that stores colour
// premultiplied by alpha knows no more than that product, so products are compared.
int differences(const QImage& source, const QImage& pdf, bool deep) {
  const bool premultiplied = source.format() == QImage::Format_ARGB32_Premultiplied ||
                             source.format() == QImage::Format_RGBA8888_Premultiplied;
  const auto normalised = [premultiplied](const QImage& picture) {
    return premultiplied ? picture.convertToFormat(QImage::Format_ARGB32_Premultiplied).convertToFormat(QImage::Format_RGBA64)
                         : picture.convertToFormat(QImage::Format_RGBA64);
  };
  const QImage expected = normalised(source);
  const QImage got = normalised(pdf);
  if (got.size() != expected.size()) return -1;
  const auto same = [deep](unsigned a, unsigned b) { return deep ? a == b : a >> 8 == b >> 8; };
  int wrong = 0;
  for (int y = 0; y < expected.height(); ++y) {
    const auto* want = reinterpret_cast<const QRgba64*>(expected.constScanLine(y));
    const auto* have = reinterpret_cast<const QRgba64*>(got.constScanLine(y));
    for (int x = 0; x < expected.width(); ++x) {
      const bool colour = same(want[x].red(), have[x].red()) && same(want[x].green(), have[x].green()) &&
                          same(want[x].blue(), have[x].blue());
      wrong += (want[x].alpha() != 0 && !colour) || !same(want[x].alpha(), have[x].alpha());
    }
  }
  return wrong;
}

TEST_F(LosslessImagesTest, EveryImageKindComesBackPixelForPixel) {
  // deep: compared at 16 bits a channel.
  const std::vector<std::pair<std::string, bool>> images = {
      {"png/basn2c16.png", true},  {"png/basn3p08.png", false},     {"png/basn6a16.png", true},
      {"png/pil123p.png", false},  {"png/pil123rgba.png", false},   {"png/transparent.png", false},
      {"gif/hopper.gif", false},   {"gif/chi.gif", false},          {"gif/dispose_bgnd.gif", false},
      {"tif/hopper_lzw.tif", false}, {"tif/hopper_jpg.tif", false}, {"tif/multipage.tiff", false},
      {"tif/g4-multi.tiff", false}, {"tif/hopper_g4.tif", false},   {"tif/total-pages-zero.tif", false},
      {"bmp/hopper.bmp", false},   {"bmp/pal8rle.bmp", false},      {"bmp/rgb24.bmp", false},
      {"rle/hopper_rle8.rle", false}, {"ico/hopper_256x256.ico", false}, {"cur/deerstalker.cur", false}};
  for (const auto& [image, deep] : images) {
    SCOPED_TRACE(image);
    const std::vector<QImage> frames = qtFrames(Corpus(image));
    const std::string pdf = convert(Corpus(image));
    const std::vector<QImage> extracted = extract(pdf);
    QPDF document;
    document.processFile(pdf.c_str());
    ASSERT_EQ(document.getAllPages().size(), frames.size());
    ASSERT_EQ(extracted.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE("page " + std::to_string(i + 1));
      QPDFObjectHandle image = pageImage(document, i);
      const bool fax = image.getDict().getKey("/Filter").isNameAndEquals("/CCITTFaxDecode");
      EXPECT_EQ(differences(frames[i], fax ? extracted[i] : readBack(image), deep), 0);
    }
  }
}

// A bilevel page written through libtiff's CCITT coders: a frame, a diagonal and stripes.
struct FaxTiff {
  std::uint16_t compression = COMPRESSION_CCITTFAX4;
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  std::uint32_t rowsPerStrip = 0;  // 0: one strip
  std::uint32_t group3Options = 0;
  bool keptAsStored = true;
};

constexpr std::uint32_t kFaxWidth = 203;
constexpr std::uint32_t kFaxHeight = 151;

bool faxBlack(std::uint32_t x, std::uint32_t y) {
  return x == 0 || y == 0 || x == kFaxWidth - 1 || y == kFaxHeight - 1 || x == y || (x / 7 + y / 5) % 3 == 0;
}

void writeFax(const std::string& path, const FaxTiff& kind) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kFaxWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kFaxHeight);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, kind.photometric);
  TIFFSetField(tiff, TIFFTAG_FILLORDER, kind.fillOrder);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression);
  if (kind.compression == COMPRESSION_CCITTFAX3) TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, kind.group3Options);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kind.rowsPerStrip == 0 ? kFaxHeight : kind.rowsPerStrip);
  std::vector<unsigned char> row((kFaxWidth + 7) / 8);
  for (std::uint32_t y = 0; y < kFaxHeight; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (std::uint32_t x = 0; x < kFaxWidth; ++x) {
      // The written bit is 1 where the page shows black under either photometric.
      const bool bit = faxBlack(x, y) == (kind.photometric == PHOTOMETRIC_MINISWHITE);
      if (bit) row[x / 8] = static_cast<unsigned char>(row[x / 8] | 0x80 >> (x % 8));
    }
    ASSERT_GE(TIFFWriteScanline(tiff, row.data(), y, 0), 0);
  }
  TIFFClose(tiff);
}

std::string firstRawStrip(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return {};
  std::string raw(static_cast<std::size_t>(TIFFRawStripSize64(tiff, 0)), '\0');
  TIFFReadRawStrip(tiff, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  TIFFClose(tiff);
  return raw;
}

TEST_F(LosslessImagesTest, FaxPagesGoInAsCcittDataStoredOrCodedAnew) {
  const std::vector<std::pair<std::string, FaxTiff>> kinds = {
      {"G4 one strip", {}},
      {"G4 low bit first", {COMPRESSION_CCITTFAX4, FILLORDER_LSB2MSB}},
      {"G4 black is zero", {COMPRESSION_CCITTFAX4, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISBLACK}},
      {"G4 in strips", {COMPRESSION_CCITTFAX4, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE, 40, 0, false}},
      {"G3 2D, fill bits",
       {COMPRESSION_CCITTFAX3, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE, 0, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, false}},
      {"G3 1D, black is zero, in strips",
       {COMPRESSION_CCITTFAX3, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISBLACK, 64, 0, false}},
      {"Modified Huffman", {COMPRESSION_CCITTRLE, FILLORDER_MSB2LSB, PHOTOMETRIC_MINISWHITE, 0, 0, false}}};
  for (const auto& [name, kind] : kinds) {
    SCOPED_TRACE(name);
    const std::string tiff = scratch(name + ".tif");
    writeFax(tiff, kind);
    const std::string pdf = convert(tiff);
    QPDF document;
    document.processFile(pdf.c_str());
    QPDFObjectHandle image = pageImage(document, 0);
    QPDFObjectHandle dictionary = image.getDict();
    ASSERT_TRUE(dictionary.getKey("/Filter").isNameAndEquals("/CCITTFaxDecode"));
    QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
    EXPECT_EQ(parameters.getKey("/K").getIntValue(), -1);
    EXPECT_EQ(parameters.getKey("/Columns").getIntValue(), kFaxWidth);
    EXPECT_EQ(parameters.getKey("/Rows").getIntValue(), kFaxHeight);
    EXPECT_EQ(parameters.getKey("/BlackIs1").isBool() && parameters.getKey("/BlackIs1").getBoolValue(),
              kind.photometric == PHOTOMETRIC_MINISBLACK);

    std::string stored = firstRawStrip(tiff);
    if (kind.fillOrder == FILLORDER_LSB2MSB) {
      TIFFReverseBits(reinterpret_cast<std::uint8_t*>(stored.data()), static_cast<tmsize_t>(stored.size()));
    }
    EXPECT_EQ(bytesOf(image.getRawStreamData()) == stored, kind.keptAsStored);

    const std::vector<QImage> extracted = extract(pdf);
    ASSERT_EQ(extracted.size(), 1u);
    const QImage page = extracted[0].convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(page.width(), static_cast<int>(kFaxWidth));
    ASSERT_EQ(page.height(), static_cast<int>(kFaxHeight));
    int wrong = 0;
    for (std::uint32_t y = 0; y < kFaxHeight; ++y) {
      for (std::uint32_t x = 0; x < kFaxWidth; ++x) wrong += (page.constScanLine(static_cast<int>(y))[x] == 0) != faxBlack(x, y);
    }
    EXPECT_EQ(wrong, 0);
  }
}

// A one-picture GIF through giflib's writer: four colours, the third one clear.
void writeGif(const std::string& path, bool interlaced) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr);
  const GifColorType colours[] = {{255, 0, 0}, {0, 128, 255}, {9, 9, 9}, {250, 250, 20}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  ASSERT_EQ(EGifPutScreenDesc(gif, 37, 23, 2, 0, map), GIF_OK);
  GifByteType control[] = {0x01, 0, 0, 2};  // transparent entry 2
  ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control), GIF_OK);
  ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, 37, 23, interlaced, nullptr), GIF_OK);
  std::vector<GifPixelType> row(37);
  const int passes[][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  const auto put = [&](int y) {
    for (int x = 0; x < 37; ++x) row[static_cast<std::size_t>(x)] = static_cast<GifPixelType>((x * 3 + y * 5) / 7 % 4);
    return EGifPutLine(gif, row.data(), 37);
  };
  for (const auto& pass : passes) {
    for (int y = interlaced ? pass[0] : 0; y < 23; y += interlaced ? pass[1] : 1) ASSERT_EQ(put(y), GIF_OK);
    if (!interlaced) break;
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
}

TEST_F(LosslessImagesTest, SinglePictureGifKeepsItsPaletteAndClearEntry) {
  for (const bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
    const std::string gif = scratch("four colours.gif");
    writeGif(gif, interlaced);
    QPDF document;
    document.processFile(convert(gif).c_str());
    QPDFObjectHandle image = pageImage(document, 0);
    QPDFObjectHandle dictionary = image.getDict();
    EXPECT_TRUE(dictionary.getKey("/ColorSpace").isArray());
    EXPECT_EQ(dictionary.getKey("/BitsPerComponent").getIntValue(), 2);
    EXPECT_EQ(dictionary.getKey("/Mask").unparse(), "[ 2 2 ]");
    EXPECT_FALSE(dictionary.getKey("/SMask").isStream());
    EXPECT_EQ(differences(qtFrames(gif).at(0), readBack(image), false), 0);
  }
}

}  // namespace
}  // namespace vd::test
