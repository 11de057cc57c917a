// Images opened in the viewer and saved as PDF, every kind the program takes, checked by
// what ends up in the PDF: each page's image, read back from the PDF (its samples decoded
// by qpdf and looked up in its colour space, masks applied; fax data decoded by poppler's
// pdfimages), is pixel for pixel what Qt's readers decode from the file, colour and
// transparency alike; JPEG and CCITT fax data go in byte for byte.
#include <gif_lib.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>

#include <qpdf/QPDF.hh>

#include "AssemblyFixture.h"
#include "platform/FileSystem.h"

namespace vd::test {
namespace {

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

class ImageImportTest : public AssemblyTest {
 protected:
  std::string convert(const std::string& image, const ImageInfoOptions& options = {}) {
    const std::string out = scratch("out.pdf");
    engine_.CreatePDFfromImageFile(out, image, options);
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

  // Each page's picture as the PDF holds it: samples decoded by qpdf, fax data by pdfimages.
  std::vector<QImage> pictures(const std::string& pdf) {
    const std::vector<QImage> extracted = extract(pdf);
    QPDF document;
    document.processFile(pdf.c_str());
    EXPECT_EQ(extracted.size(), document.getAllPages().size());
    std::vector<QImage> shown;
    for (std::size_t i = 0; i < document.getAllPages().size(); ++i) {
      QPDFObjectHandle image = pageImage(document, i);
      const bool fax = image.getDict().getKey("/Filter").isNameAndEquals("/CCITTFaxDecode");
      shown.push_back(fax ? (i < extracted.size() ? extracted[i] : QImage()) : readBack(image));
    }
    return shown;
  }

  int extractions_ = 0;
};

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

TEST_F(ImageImportTest, EveryImageKindComesBackPixelForPixel) {
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
    const std::vector<QImage> shown = pictures(pdf);
    ASSERT_EQ(shown.size(), frames.size());
    EXPECT_EQ(RunProgram("qpdf", {"--check", pdf}), 0);
    EXPECT_TRUE(IsLinearized(pdf));  // saved with flags 37
    for (std::size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(differences(frames[i], shown[i], deep), 0) << "page " << i + 1;
    }
  }
}

// A TIFF page written through libtiff, each sample given by value(x, y, channel), at 1, 8
// or 16 bits, in square tiles or in strips.
struct TiffPage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits = 16;
  std::uint16_t photometric = PHOTOMETRIC_RGB;
  std::uint16_t samplesPerPixel = 3;
  std::function<unsigned(std::uint32_t x, std::uint32_t y, int channel)> value;
  std::uint16_t compression = COMPRESSION_ADOBE_DEFLATE;
  std::uint32_t tile = 16;          // 0: in strips
  std::uint32_t rowsPerStrip = 0;   // 0: one strip
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  std::uint32_t group3Options = 0;
  std::uint16_t extraSample = 0;    // the kind of a fourth (or second) sample, 0 for none
  float resolution = 0;             // 0 for no resolution tags
  std::uint16_t resolutionUnit = RESUNIT_INCH;
};

// The samples of columns x rows pixels from (left, top), rows padded to whole bytes.
std::vector<unsigned char> packed(const TiffPage& page, std::uint32_t left, std::uint32_t top, std::uint32_t columns,
                                  std::uint32_t rows) {
  const std::size_t rowBytes = (static_cast<std::size_t>(columns) * page.samplesPerPixel * page.bits + 7) / 8;
  std::vector<unsigned char> bytes(rowBytes * rows);
  for (std::uint32_t y = 0; y < rows; ++y) {
    for (std::uint32_t x = 0; x < columns; ++x) {
      for (int c = 0; c < page.samplesPerPixel; ++c) {
        const bool inside = left + x < page.width && top + y < page.height;
        const unsigned v = inside ? page.value(left + x, top + y, c) : 0;
        const std::size_t bit = (static_cast<std::size_t>(x) * page.samplesPerPixel + static_cast<std::size_t>(c)) * page.bits;
        unsigned char* at = &bytes[y * rowBytes + bit / 8];
        if (page.bits == 16) {
          const auto v16 = static_cast<std::uint16_t>(v);  // in the machine's order, as libtiff takes it
          std::memcpy(at, &v16, 2);
        } else {
          *at = static_cast<unsigned char>(*at | v << (8 - page.bits - bit % 8));
        }
      }
    }
  }
  return bytes;
}

void writeTiff(const std::string& path, const std::vector<TiffPage>& pages) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (const TiffPage& page : pages) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, page.fillOrder);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, page.compression);
    if (page.compression == COMPRESSION_CCITTFAX3) TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, page.group3Options);
    if (page.extraSample != 0) {
      std::uint16_t kinds[] = {page.extraSample};
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    if (page.resolution > 0) {
      TIFFSetField(tiff, TIFFTAG_XRESOLUTION, page.resolution);
      TIFFSetField(tiff, TIFFTAG_YRESOLUTION, page.resolution);
      TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    }
    const std::uint32_t side = page.tile;
    if (side == 0) {
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, page.rowsPerStrip == 0 ? page.height : page.rowsPerStrip);
      for (std::uint32_t y = 0; y < page.height; ++y) ASSERT_GE(TIFFWriteScanline(tiff, packed(page, 0, y, page.width, 1).data(), y, 0), 0);
    } else {
      TIFFSetField(tiff, TIFFTAG_TILEWIDTH, side);
      TIFFSetField(tiff, TIFFTAG_TILELENGTH, side);
      for (std::uint32_t top = 0; top < page.height; top += side) {
        for (std::uint32_t left = 0; left < page.width; left += side) {
          ASSERT_GE(TIFFWriteTile(tiff, packed(page, left, top, side, side).data(), left, top, 0, 0), 0);
        }
      }
    }
    ASSERT_EQ(TIFFWriteDirectory(tiff), 1);
  }
  TIFFClose(tiff);
}

// The page as written, at 16 bits a channel: white is zero where the photometric says so.
QImage writtenPicture(const TiffPage& page) {
  QImage picture(static_cast<int>(page.width), static_cast<int>(page.height), QImage::Format_RGBA64);
  for (std::uint32_t y = 0; y < page.height; ++y) {
    for (std::uint32_t x = 0; x < page.width; ++x) {
      const auto at = [&](int c) { return static_cast<quint16>(page.value(x, y, c) * 65535 / ((1u << page.bits) - 1)); };
      const auto grey = static_cast<quint16>(page.photometric == PHOTOMETRIC_MINISWHITE ? 65535 - at(0) : at(0));
      picture.setPixelColor(static_cast<int>(x), static_cast<int>(y),
                            page.samplesPerPixel == 1 ? QColor::fromRgba64(grey, grey, grey)
                                                      : QColor::fromRgba64(at(0), at(1), at(2),
                                                                           page.samplesPerPixel == 4 ? at(3) : 65535));
    }
  }
  return picture;
}

std::string firstRawStrip(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return {};
  std::string raw(static_cast<std::size_t>(TIFFRawStripSize64(tiff, 0)), '\0');
  TIFFReadRawStrip(tiff, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  TIFFClose(tiff);
  return raw;
}

TEST_F(ImageImportTest, FaxPagesGoInAsCcittDataStoredOrCodedAnew) {
  struct Kind {
    const char* name;
    std::uint16_t compression;
    std::uint16_t fillOrder;
    std::uint16_t photometric;
    std::uint32_t rowsPerStrip;
    std::uint32_t group3Options;
    bool keptAsStored;
  };
  const std::uint16_t g3 = COMPRESSION_CCITTFAX3, g4 = COMPRESSION_CCITTFAX4, msb = FILLORDER_MSB2LSB;
  const std::uint16_t white = PHOTOMETRIC_MINISWHITE, black = PHOTOMETRIC_MINISBLACK;
  const Kind kinds[] = {{"G4 one strip", g4, msb, white, 0, 0, true},
                        {"G4 low bit first", g4, FILLORDER_LSB2MSB, white, 0, 0, true},
                        {"G4 black is zero", g4, msb, black, 0, 0, true},
                        {"G4 in strips", g4, msb, white, 40, 0, false},
                        {"G3 2D, fill bits", g3, msb, white, 0, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, false},
                        {"G3 1D, black is zero, in strips", g3, msb, black, 64, 0, false},
                        {"Modified Huffman", COMPRESSION_CCITTRLE, msb, white, 0, 0, false}};
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    // A frame, a diagonal and stripes; the written bit is 1 where the page shows black.
    const TiffPage page{.width = 203, .height = 151, .bits = 1, .photometric = kind.photometric, .samplesPerPixel = 1,
                        .value = [&](std::uint32_t x, std::uint32_t y, int) -> unsigned {
                          const bool black = x == 0 || y == 0 || x == 202 || y == 150 || x == y || (x / 7 + y / 5) % 3 == 0;
                          return black == (kind.photometric == PHOTOMETRIC_MINISWHITE);
                        },
                        .compression = kind.compression, .tile = 0, .rowsPerStrip = kind.rowsPerStrip,
                        .fillOrder = kind.fillOrder, .group3Options = kind.group3Options};
    const std::string tiff = scratch(std::string(kind.name) + ".tif");
    writeTiff(tiff, {page});
    const std::string pdf = convert(tiff);
    QPDF document;
    document.processFile(pdf.c_str());
    QPDFObjectHandle image = pageImage(document, 0);
    // Its parameters are proved by the decoded page below.
    ASSERT_TRUE(image.getDict().getKey("/Filter").isNameAndEquals("/CCITTFaxDecode"));

    std::string stored = firstRawStrip(tiff);
    if (kind.fillOrder == FILLORDER_LSB2MSB) {
      TIFFReverseBits(reinterpret_cast<std::uint8_t*>(stored.data()), static_cast<tmsize_t>(stored.size()));
    }
    EXPECT_EQ(bytesOf(image.getRawStreamData()) == stored, kind.keptAsStored);
    const std::vector<QImage> shown = pictures(pdf);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(differences(writtenPicture(page), shown[0], true), 0);
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

TEST_F(ImageImportTest, SinglePictureGifKeepsItsPaletteAndClearEntry) {
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

std::vector<double> mediaBox(QPDF& document, std::size_t index) {
  QPDFObjectHandle page = document.getAllPages().at(index);
  QPDFObjectHandle box = page.getKey("/MediaBox");
  std::vector<double> values;
  for (int i = 0; i < box.getArrayNItems(); ++i) values.push_back(box.getArrayItem(i).getNumericValue());
  return values;
}

TEST_F(ImageImportTest, StoredDataOrientationAndPageSizeComeFromTheFile) {
  for (const char* image : {"jpg/app13-multiple.jpg", "jpg/pil_sample_cmyk.jpg"}) {
    QPDF document;
    document.processFile(convert(Corpus(image)).c_str());
    QPDFObjectHandle picture = pageImage(document, 0);
    EXPECT_TRUE(picture.getDict().getKey("/Filter").isNameAndEquals("/DCTDecode")) << image;
    EXPECT_EQ(bytesOf(picture.getRawStreamData()), ReadBytes(Corpus(image))) << image;
    if (std::string(image).find("cmyk") != std::string::npos) {
      EXPECT_TRUE(picture.getDict().getKey("/ColorSpace").isNameAndEquals("/DeviceCMYK"));
      EXPECT_EQ(picture.getDict().getKey("/Decode").unparse(), "[ 1 0 1 0 1 0 1 0 ]");
    }
  }
  QPDF rotated;
  rotated.processFile(convert(Corpus("jpg/hopper_orientation_6.jpg")).c_str());
  QPDFObjectHandle rotatedPage = rotated.getAllPages().at(0);
  EXPECT_EQ(rotatedPage.getKey("/Rotate").getIntValue(), 90);

  // Qt reads no deep tiled TIFF: its samples are compared with what was written below.
  EXPECT_EQ(PageCount(convert(Corpus("tif/tiff_16bit_RGB.tiff"))), 1);
  QPDF fax;
  fax.processFile(convert(Corpus("tif/g4-multi.tiff")).c_str());
  EXPECT_NEAR(mediaBox(fax, 2)[2], 595.3, 0.5);  // 3307 px at 400 dpi: A4
  EXPECT_NEAR(mediaBox(fax, 2)[3], 841.9, 0.5);
}

TEST_F(ImageImportTest, TiledTiffPagesOfEveryLayoutKeepTheirSamplesAndSizes) {
  const auto rgb = [](std::uint32_t x, std::uint32_t y, int c) -> unsigned { return (x * 1021 + y * 3067 + c * 17) & 0xFFFF; };
  const std::vector<TiffPage> pages = {
      {.width = 37, .height = 21, .value = rgb, .resolution = 150},
      {.width = 20, .height = 18, .photometric = PHOTOMETRIC_MINISWHITE, .samplesPerPixel = 1,
       .value = [](std::uint32_t x, std::uint32_t y, int) { return x * 3001 + y * 7; }, .resolution = 40,
       .resolutionUnit = RESUNIT_CENTIMETER},
      {.width = 17, .height = 17, .samplesPerPixel = 4,
       .value = [&](std::uint32_t x, std::uint32_t y, int c) { return c == 3 ? 65535 - x * 3000 : rgb(x, y, c); },
       .tile = 32, .extraSample = EXTRASAMPLE_UNASSALPHA}};
  // Qt refuses the third page (its one tile holds more than the whole picture) and would
  // give the 16-bit grey page only 8 bits, so every page goes through libtiff.
  const std::string tiff = scratch("layouts one.tif");
  writeTiff(tiff, pages);

  const std::string pdf = convert(tiff);
  QPDF document;
  document.processFile(pdf.c_str());
  ASSERT_EQ(document.getAllPages().size(), 3u);
  EXPECT_NEAR(mediaBox(document, 0)[2], 37 * 72.0 / 150, 0.01);
  EXPECT_NEAR(mediaBox(document, 1)[3], 18 * 72.0 / (40 * 2.54), 0.01);
  EXPECT_NEAR(mediaBox(document, 2)[2], 17, 0.01);

  // Every sample at 16 bits: white is zero in the grey page, black in the PDF; the alpha
  // page's colour is kept apart from its alpha.
  const std::vector<QImage> shown = pictures(pdf);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(differences(writtenPicture(pages[i]), shown.at(i), true), 0) << "page " << i + 1;
  }
  EXPECT_EQ(pageImage(document, 1).getDict().getKey("/BitsPerComponent").getIntValue(), 16);
  EXPECT_TRUE(pageImage(document, 2).getDict().getKey("/SMask").isStream());
}

TEST_F(ImageImportTest, DocumentInformationIsWrittenUnlessBlank) {
  ImageInfoOptions options;
  options.strTitle = "   ";
  options.strAuthor = " Émile Zola ";
  options.strSubject = "Flowers";
  const std::string out = convert(Corpus("jpg/flower.jpg"), options);
  std::string info;
  RunProgram("pdfinfo", {out}, &info);
  EXPECT_EQ(info.find("Title:"), std::string::npos);
  EXPECT_NE(info.find("Author:           Émile Zola "), std::string::npos);  // as given, untrimmed
  EXPECT_NE(info.find("Subject:         Flowers"), std::string::npos);
}

TEST_F(ImageImportTest, BrokenImagesRaiseNamingTheImageAndLoseNothing) {
  const std::string empty = scratch("empty.png");
  fileSystem().writeFile(empty, "");
  const std::string garbage = scratch("noise.gif");
  fileSystem().writeFile(garbage, std::string(4096, '\x5a'));
  const std::string cutTiff = scratch("cut -16bit.tiff");
  const std::string whole = ReadBytes(Corpus("tif/tiff_16bit_RGB.tiff"));
  fileSystem().writeFile(cutTiff, whole.substr(0, whole.size() / 2));
  const std::string cutPng = scratch("cut.png");
  fileSystem().writeFile(cutPng, ReadBytes(Corpus("png/basn3p08.png")).substr(0, 600));
  const std::string headerOnly = scratch("header only.tif");
  WriteBytes(headerOnly, std::string("II*\0\x08\0\0\0", 8) + std::string(64, '\xff'));
  for (const std::string& image : {Corpus("broken/truncated_jpeg.jpg"), Corpus("broken/badcrc.png"), empty, garbage,
                                   cutPng, cutTiff, headerOnly, Corpus("wmf/drawing.wmf"), Corpus("emf/drawing.emf")}) {
    SCOPED_TRACE(image);
    const std::string out = scratch("broken.pdf");
    const std::string before = ReadBytes(image);
    const std::string error = EngineErrorOf([&] { engine_.CreatePDFfromImageFile(out, image); });
    EXPECT_NE(error.find(image), std::string::npos) << error;
    EXPECT_FALSE(FileExistsOnDisk(out));
    EXPECT_EQ(ReadBytes(image), before);
  }
  EXPECT_NE(EngineErrorOf([&] { engine_.CreatePDFfromImageFile(scratch("x.pdf"), Corpus("wmf/santa.wmf")); })
                .find("office suite"),
            std::string::npos);
}

TEST_F(ImageImportTest, MissingOrUnwritableOutputKeepsWhatWasThere) {
  const std::string kept = makePdf("keep.pdf", {"Kept"});
  EXPECT_EQ(EngineErrorOf([&] { engine_.CreatePDFfromImageFile(kept, scratch("no such.png")); }),
            "File " + scratch("no such.png") + " does not exist.");
  EXPECT_EQ(PageTexts(kept), std::vector<std::string>{"Kept"});

  const std::string out = makePdf("out.pdf", {"Old", "Older"});
  engine_.CreatePDFfromImageFile(out, Corpus("gif/hopper.gif"));
  EXPECT_EQ(PageCount(out), 1);
  // A read-only output stays as it was.
  ASSERT_EQ(chmod(kept.c_str(), 0444), 0);
  EXPECT_NE(EngineErrorOf([&] { engine_.CreatePDFfromImageFile(kept, Corpus("gif/hopper.gif")); }).find(kept),
            std::string::npos);
  EXPECT_EQ(PageTexts(kept), std::vector<std::string>{"Kept"});
}

}  // namespace
}  // namespace vd::test
