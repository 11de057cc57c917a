// Images opened in the viewer and saved as PDF, checked by what ends up in the PDF: each
// page's image, read back from the PDF (its samples decoded by qpdf and looked up in its
// colour space, masks applied; fax data decoded by poppler's pdfimages), is pixel for pixel
// what Qt's readers (or the writer of a generated file) make of the file, colour, depth and
// transparency alike. The end-to-end test takes more kinds the whole way through the program.
#include <gif_lib.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include <qpdf/QPDF.hh>

#include "support/AssemblyFixture.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

QPDFObjectHandle pageKey(QPDF& document, std::size_t index, const std::string& key) {
  return QPDFObjectHandle(document.getAllPages().at(index)).getKey(key);
}

QPDFObjectHandle pageImage(QPDF& document, std::size_t index) {
  return pageKey(document, index, "/Resources").getKey("/XObject").getKey("/Im0");
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
  if (samples.size() < rowBytes * static_cast<std::size_t>(height)) return {};
  const auto sampleAt = [&](int x, int y, int c) {
    const std::size_t bit = (static_cast<std::size_t>(x) * components + c) * bits;
    const auto* row = reinterpret_cast<const unsigned char*>(samples.data()) + static_cast<std::size_t>(y) * rowBytes;
    if (bits == 16) return static_cast<unsigned>(row[bit / 8] << 8 | row[bit / 8 + 1]);
    return static_cast<unsigned>(row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
  };
  const auto wide = [&](unsigned value) { return static_cast<quint16>(value * 65535 / ((1u << bits) - 1)); };
  const auto fromPalette = [&](unsigned entry, int c) {
    return static_cast<quint16>(static_cast<unsigned char>(palette.at(entry * 3 + static_cast<unsigned>(c))) * 257);
  };
  QImage alpha;
  if (QPDFObjectHandle softMask = dictionary.getKey("/SMask"); softMask.isStream()) alpha = readBack(softMask);
  QPDFObjectHandle key = dictionary.getKey("/Mask");
  const auto keyEnd = [&](int end) { return static_cast<unsigned>(key.getArrayItem(end).getIntValue()); };
  QImage picture(width, height, QImage::Format_RGBA64);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgba64*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const unsigned entry = sampleAt(x, y, 0);
      const bool keyedOut = indexed && key.isArray() && entry >= keyEnd(0) && entry <= keyEnd(1);
      const quint16 opacity =
          keyedOut ? 0 : alpha.isNull() ? 65535 : reinterpret_cast<const QRgba64*>(alpha.constScanLine(y))[x].red();
      const auto channel = [&](int c) {
        return indexed ? fromPalette(entry, c) : wide(sampleAt(x, y, components == 3 ? c : 0));
      };
      line[x] = QRgba64::fromRgba64(channel(0), channel(1), channel(2), opacity);
    }
  }
  return picture;
}

class ImageImportTest : public AssemblyTest {
 protected:
  std::string convert(const std::string& image, const ImageInfoOptions& options = {}) {
    engine_->CreatePDFfromImageFile(scratch("out.pdf"), image, options);
    return scratch("out.pdf");
  }

  // Each page's picture as the PDF holds it: samples decoded by qpdf, fax data by pdfimages.
  std::vector<QImage> pictures(const std::string& pdf) {
    QPDF document;
    document.processFile(pdf.c_str());
    std::vector<QImage> shown;
    for (std::size_t i = 0; i < document.getAllPages().size(); ++i) {
      QPDFObjectHandle image = pageImage(document, i);
      if (!image.getDict().getKey("/Filter").isNameAndEquals("/CCITTFaxDecode")) {
        shown.push_back(readBack(image));
        continue;
      }
      const std::string prefix = scratch("fax");
      const std::string page = std::to_string(i + 1);
      EXPECT_EQ(RunProgram("pdfimages", {"-png", "-f", page, "-l", page, pdf, prefix}), 0);
      shown.emplace_back(QString::fromStdString(prefix + "-000.png"));
    }
    return shown;
  }
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
  const auto smaller = [](const QImage& a, const QImage& b) { return a.width() * a.height() < b.width() * b.height(); };
  if (reader.format() == "ico" || reader.format() == "cur") {
    frames = {*std::max_element(frames.begin(), frames.end(), smaller)};
  }
  return frames;
}

// Pixels whose colour or transparency differs, at 16 bits a channel when deep, else at
// 8; colour is not compared where the source is fully clear.
int differences(const QImage& source, const QImage& pdf, bool deep) {
  const QImage expected = source.convertToFormat(QImage::Format_RGBA64);
  const QImage got = pdf.convertToFormat(QImage::Format_RGBA64);
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
  for (const auto& pass : passes) {
    for (int y = interlaced ? pass[0] : 0; y < 23; y += interlaced ? pass[1] : 1) {
      for (int x = 0; x < 37; ++x) row[static_cast<std::size_t>(x)] = static_cast<GifPixelType>((x * 3 + y * 5) / 7 % 4);
      ASSERT_EQ(EGifPutLine(gif, row.data(), 37), GIF_OK);
    }
    if (!interlaced) break;
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
}

TEST_F(ImageImportTest, PicturesComeBackPixelForPixelWithTheirDepthAndTransparency) {
  const std::string rows = scratch("four colours.gif");
  const std::string interlaced = scratch("four colours interlaced.gif");
  writeGif(rows, false);
  writeGif(interlaced, true);
  std::vector<std::string> images = {rows, interlaced};
  // Deep colour and alpha, palettes with clear entries, animation, fax pages stored (one
  // strip), coded anew (strips, G3) or in a file that counts no pages, run-length BMP, an icon.
  for (const char* image : {"png/basn2c16.png", "png/basn3p08.png", "png/basn6a16.png", "png/pil123p.png",
                            "png/pil123rgba.png", "gif/chi.gif", "tif/multipage.tiff", "tif/g4-multi.tiff",
                            "tif/hopper_g4.tif", "tif/total-pages-zero.tif", "rle/hopper_rle8.rle",
                            "ico/hopper_256x256.ico"}) {
    images.push_back(Corpus(image));
  }
  const std::set<std::string> deep = {Corpus("png/basn2c16.png"), Corpus("png/basn6a16.png")};  // at 16 bits a channel
  for (const std::string& image : images) {
    SCOPED_TRACE(image);
    const std::vector<QImage> frames = qtFrames(image);
    const std::size_t descriptors = OpenDescriptors();
    const std::string pdf = convert(image);
    EXPECT_EQ(OpenDescriptors(), descriptors);  // the import keeps nothing open
    const std::vector<QImage> shown = pictures(pdf);
    ASSERT_EQ(shown.size(), frames.size());
    EXPECT_EQ(RunProgram("qpdf", {"--check", pdf}), 0);
    EXPECT_TRUE(IsLinearized(pdf));  // saved with flags 37
    for (std::size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(differences(frames[i], shown[i], deep.count(image) != 0), 0) << "page " << i + 1;
    }
    if (image != rows && image != interlaced) continue;
    // A one-picture GIF keeps its palette and its clear entry as a colour key, no soft mask.
    QPDF document;
    document.processFile(pdf.c_str());
    QPDFObjectHandle dictionary = pageImage(document, 0).getDict();
    EXPECT_EQ(dictionary.getKey("/BitsPerComponent").getIntValue(), 2);
    EXPECT_EQ(dictionary.getKey("/Mask").unparse() + dictionary.getKey("/SMask").unparse(), "[ 2 2 ]null");
  }
}

// A TIFF page written through libtiff: each sample value(x, y, sample), at 8 or 16 bits,
// interleaved or in planes of one sample each, in square tiles or in strips of seven rows.
struct TiffPage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t photometric = PHOTOMETRIC_RGB;
  std::uint16_t samplesPerPixel = 3;
  std::function<unsigned(std::uint32_t x, std::uint32_t y, int sample)> value;
  std::uint32_t tile = 16;  // 0 for strips
  int bits = 16;
  std::uint16_t planes = PLANARCONFIG_CONTIG;
  std::uint16_t compression = COMPRESSION_ADOBE_DEFLATE;
  std::uint16_t extraSample = 0;  // the kind of the sample after the colours, 0 for none
  float resolution = 0;           // 0 for no resolution tags
  std::uint16_t resolutionUnit = RESUNIT_INCH;
};

void writeTiff(const std::string& path, const std::vector<TiffPage>& pages) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (const TiffPage& page : pages) {
    const std::pair<ttag_t, unsigned> tags[] = {
        {TIFFTAG_IMAGEWIDTH, page.width},        {TIFFTAG_IMAGELENGTH, page.height},
        {TIFFTAG_PHOTOMETRIC, page.photometric}, {TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel},
        {TIFFTAG_PLANARCONFIG, page.planes},     {TIFFTAG_COMPRESSION, page.compression}};
    for (const auto& [tag, value] : tags) TIFFSetField(tiff, tag, value);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits);
    if (page.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
    std::uint16_t kinds[] = {page.extraSample};
    if (page.extraSample != 0) TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, kinds);
    if (page.resolution > 0) {
      TIFFSetField(tiff, TIFFTAG_XRESOLUTION, page.resolution);
      TIFFSetField(tiff, TIFFTAG_YRESOLUTION, page.resolution);
      TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    }
    if (page.tile != 0) {
      TIFFSetField(tiff, TIFFTAG_TILEWIDTH, page.tile);
      TIFFSetField(tiff, TIFFTAG_TILELENGTH, page.tile);
    } else {
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 7u);
    }
    // The samples of count pixels of a row in the machine's order, as libtiff takes them;
    // zero beyond the picture.
    const bool planar = page.planes == PLANARCONFIG_SEPARATE;
    const auto run = [&](int plane, std::uint32_t left, std::uint32_t y, std::uint32_t count) {
      std::vector<std::uint8_t> out;
      for (std::uint32_t x = left; x < left + count; ++x) {
        for (int c = planar ? plane : 0; c < (planar ? plane + 1 : page.samplesPerPixel); ++c) {
          const auto wide = static_cast<std::uint16_t>(x < page.width && y < page.height ? page.value(x, y, c) : 0);
          const auto narrow = static_cast<std::uint8_t>(wide & 0xFF);
          const auto* bytes = page.bits == 8 ? &narrow : reinterpret_cast<const std::uint8_t*>(&wide);
          out.insert(out.end(), bytes, bytes + page.bits / 8);
        }
      }
      return out;
    };
    for (int plane = 0; plane < (planar ? page.samplesPerPixel : 1); ++plane) {
      const auto sample = static_cast<std::uint16_t>(plane);
      for (std::uint32_t top = 0; page.tile == 0 && top < page.height; ++top) {
        ASSERT_GE(TIFFWriteScanline(tiff, run(plane, 0, top, page.width).data(), top, sample), 0);
      }
      for (std::uint32_t top = 0; page.tile != 0 && top < page.height; top += page.tile) {
        for (std::uint32_t left = 0; left < page.width; left += page.tile) {
          std::vector<std::uint8_t> tile;
          for (std::uint32_t y = top; y < top + page.tile; ++y) {
            const std::vector<std::uint8_t> row = run(plane, left, y, page.tile);
            tile.insert(tile.end(), row.begin(), row.end());
          }
          ASSERT_GE(TIFFWriteTile(tiff, tile.data(), left, top, 0, sample), 0);
        }
      }
    }
    ASSERT_EQ(TIFFWriteDirectory(tiff), 1);
  }
  TIFFClose(tiff);
}

// The page as written: white is zero where the photometric says so.
QImage writtenPicture(const TiffPage& page) {
  QImage picture(static_cast<int>(page.width), static_cast<int>(page.height), QImage::Format_RGBA64);
  for (std::uint32_t y = 0; y < page.height; ++y) {
    for (std::uint32_t x = 0; x < page.width; ++x) {
      const auto at = [&](int c) { return static_cast<quint16>(page.value(x, y, c)); };
      const auto grey = static_cast<quint16>(page.photometric == PHOTOMETRIC_MINISWHITE ? 65535 - at(0) : at(0));
      picture.setPixelColor(static_cast<int>(x), static_cast<int>(y),
                            page.samplesPerPixel == 1 ? QColor::fromRgba64(grey, grey, grey)
                                                      : QColor::fromRgba64(at(0), at(1), at(2),
                                                                           page.samplesPerPixel == 4 ? at(3) : 65535));
    }
  }
  return picture;
}

TEST_F(ImageImportTest, StoredDataOrientationPageSizesAndInformationComeFromTheFileAndTheOptions) {
  const auto box = [](QPDF& document, std::size_t page, int corner) {
    return pageKey(document, page, "/MediaBox").getArrayItem(corner).getNumericValue();
  };
  // A CMYK JPEG goes in as it is, its inverted samples said so; a turned photo turns its page.
  QPDF cmyk;
  cmyk.processFile(convert(Corpus("jpg/pil_sample_cmyk.jpg")).c_str());
  EXPECT_EQ(bytesOf(pageImage(cmyk, 0).getRawStreamData()), ReadBytes(Corpus("jpg/pil_sample_cmyk.jpg")));
  EXPECT_TRUE(pageImage(cmyk, 0).getDict().getKey("/ColorSpace").isNameAndEquals("/DeviceCMYK"));
  EXPECT_EQ(pageImage(cmyk, 0).getDict().getKey("/Decode").unparse(), "[ 1 0 1 0 1 0 1 0 ]");
  QPDF rotated;
  rotated.processFile(convert(Corpus("jpg/hopper_orientation_6.jpg")).c_str());
  EXPECT_EQ(pageKey(rotated, 0, "/Rotate").getIntValue(), 90);

  // Tiled pages of every layout. Qt refuses the third page (its one tile holds more than the
  // whole picture) and would give the 16-bit grey page only 8 bits, so every page goes
  // through libtiff.
  const auto rgb = [](std::uint32_t x, std::uint32_t y, int c) -> unsigned { return (x * 1021 + y * 3067 + c * 17) & 0xFFFF; };
  const std::vector<TiffPage> pages = {
      {.width = 37, .height = 21, .value = rgb, .resolution = 150},
      {.width = 20, .height = 18, .photometric = PHOTOMETRIC_MINISWHITE, .samplesPerPixel = 1,
       .value = [](std::uint32_t x, std::uint32_t y, int) { return x * 3001 + y * 7; }, .resolution = 40,
       .resolutionUnit = RESUNIT_CENTIMETER},
      {.width = 17, .height = 17, .samplesPerPixel = 4,
       .value = [&](std::uint32_t x, std::uint32_t y, int c) { return c == 3 ? 65535 - x * 3000 : rgb(x, y, c); },
       .tile = 32, .extraSample = EXTRASAMPLE_UNASSALPHA}};
  const std::string tiff = scratch("layouts one.tif");
  writeTiff(tiff, pages);
  // Information as given, untrimmed; a blank title is left out.
  ImageInfoOptions options;
  options.strTitle = "   ";
  options.strAuthor = " Émile Zola ";
  options.strSubject = "Flowers";
  const std::string pdf = convert(tiff, options);
  const std::string info = ProgramOutput("pdfinfo", {pdf});
  EXPECT_EQ(info.find("Title:"), std::string::npos);
  ExpectContainsAll(info, {"Author:           Émile Zola ", "Subject:         Flowers"});
  QPDF document;
  document.processFile(pdf.c_str());
  ASSERT_EQ(document.getAllPages().size(), pages.size());
  EXPECT_NEAR(box(document, 0, 2), 37 * 72.0 / 150, 0.01);
  EXPECT_NEAR(box(document, 1, 3), 18 * 72.0 / (40 * 2.54), 0.01);
  EXPECT_NEAR(box(document, 2, 2), 17, 0.01);
  // Every sample at 16 bits: white is zero in the grey page, black in the PDF; the alpha
  // page's colour is kept apart from its alpha.
  const std::vector<QImage> shown = pictures(pdf);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(differences(writtenPicture(pages[i]), shown.at(i), true), 0) << "page " << i + 1;
  }
  EXPECT_EQ(pageImage(document, 1).getDict().getKey("/BitsPerComponent").getIntValue(), 16);
  EXPECT_TRUE(pageImage(document, 2).getDict().getKey("/SMask").isStream());
}

// The inks of a CMYK page as PDF holds them: interleaved, 16 bits big-endian; with alpha,
// the alpha samples instead of the inks.
std::string cmykSamples(const TiffPage& page, bool alpha) {
  std::string samples;
  for (std::uint32_t y = 0; y < page.height; ++y) {
    for (std::uint32_t x = 0; x < page.width; ++x) {
      for (int ink = alpha ? 4 : 0; ink < (alpha ? 5 : 4); ++ink) {
        const unsigned value = page.value(x, y, ink);
        if (page.bits == 16) samples.push_back(static_cast<char>(value >> 8));
        samples.push_back(static_cast<char>(value & 0xFF));
      }
    }
  }
  return samples;
}

TEST_F(ImageImportTest, CmykTiffPagesKeepTheirInksSampleForSample) {
  // Interleaved samples and planes, strips and tiles, with and without compression, 8 and 16
  // bits, one page each; the third with an alpha of its own.
  const auto inks = [](std::uint32_t x, std::uint32_t y, int ink) -> unsigned {
    return (x * 2039 + y * 4093 + static_cast<unsigned>(ink) * 10007) & 0xFFFF;
  };
  std::vector<TiffPage> layouts(5, {.width = 37,
                                    .height = 21,
                                    .photometric = PHOTOMETRIC_SEPARATED,
                                    .samplesPerPixel = 4,
                                    .value = inks,
                                    .tile = 0,
                                    .bits = 8,
                                    .compression = COMPRESSION_NONE});
  layouts[1].planes = layouts[3].planes = PLANARCONFIG_SEPARATE;
  layouts[1].compression = layouts[4].compression = COMPRESSION_LZW;
  layouts[2].compression = COMPRESSION_ADOBE_DEFLATE;
  layouts[3].compression = COMPRESSION_PACKBITS;
  layouts[2].tile = layouts[3].tile = 16;
  layouts[2].samplesPerPixel = 5;
  layouts[2].extraSample = EXTRASAMPLE_UNASSALPHA;
  layouts[4].bits = 16;
  const std::string made = scratch("inks.tif");
  writeTiff(made, layouts);
  QPDF document;
  document.processFile(convert(made).c_str());
  ASSERT_EQ(document.getAllPages().size(), layouts.size());
  for (std::size_t i = 0; i < layouts.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    QPDFObjectHandle image = pageImage(document, i);
    EXPECT_TRUE(image.getDict().getKey("/ColorSpace").isNameAndEquals("/DeviceCMYK"));
    EXPECT_EQ(image.getDict().getKey("/BitsPerComponent").getIntValue(), layouts[i].bits);
    EXPECT_TRUE(bytesOf(image.getStreamData(qpdf_dl_all)) == cmykSamples(layouts[i], false));
    QPDFObjectHandle mask = image.getDict().getKey("/SMask");
    EXPECT_EQ(mask.isStream(), layouts[i].extraSample != 0);
    if (mask.isStream()) {
      EXPECT_TRUE(bytesOf(mask.getStreamData(qpdf_dl_all)) == cmykSamples(layouts[i], true));
    }
  }
}

TEST_F(ImageImportTest, MetafilesAreDrawnByTheOfficeSuiteOnPagesOfTheirOwnSize) {
  const struct {
    std::string file;
    double width, height;  // from the file's header: its frame, or its bounds at its units per inch
    std::string text;
  } cases[] = {{"wmf/drawing.wmf", 82, 82, ""}, {"emf/vector_image.emf", 530, 434, "Existing Policy"}};
  const std::string temporary = scratchFolder("tmp");
  environment.set("TMPDIR", temporary);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string pdf = convert(Corpus(c.file));
    QPDF document;
    document.processFile(pdf.c_str());
    ASSERT_EQ(document.getAllPages().size(), 1u);
    QPDFObjectHandle box = pageKey(document, 0, "/MediaBox");
    EXPECT_NEAR(box.getArrayItem(2).getNumericValue() - box.getArrayItem(0).getNumericValue(), c.width, 0.5);
    EXPECT_NEAR(box.getArrayItem(3).getNumericValue() - box.getArrayItem(1).getNumericValue(), c.height, 0.5);
    ExpectContainsAll(PdfText(pdf), {c.text});
    // The picture is drawn, not a blank page: a hundredth of the page's pixels at 72 dpi have ink.
    EXPECT_GT(InkOf(pdf, scratch("drawn"), 72), c.width * c.height / 100);
  }
  // The drawings' temporary PDFs went with their calls.
  for (const std::string& entry : DirectoryEntries(temporary)) EXPECT_EQ(entry.find("vellumdock-picture"), std::string::npos);
}

TEST_F(ImageImportTest, BrokenImagesOrOutputsRaiseNamingTheFileAndLoseNothing) {
  // Empty, cut and noisy files of the common kinds have the robustness suite; here a deep TIFF
  // cut short, a TIFF without pages, a metafile of noise and one the suite draws blank.
  const std::string whole = ReadBytes(Corpus("tif/tiff_16bit_RGB.tiff"));
  const std::vector<std::pair<std::string, std::string>> made = {
      {"noise.emf", std::string(600, '\x11')},
      {"cut -16bit.tiff", whole.substr(0, whole.size() / 2)},
      {"header only.tif", std::string("II*\0\x08\0\0\0", 8) + std::string(64, '\xff')}};
  std::vector<std::string> images = {Corpus("broken/truncated_jpeg.jpg"), Corpus("broken/badcrc.png"),
                                     Corpus("wmf/61338.wmf")};
  for (const auto& [name, bytes] : made) {
    images.push_back(scratch(name));
    WriteBytes(images.back(), bytes);
  }
  const std::string kept = makePdf("keep.pdf", {"Kept"});
  for (const std::string& image : images) {
    SCOPED_TRACE(image);
    const std::string before = ReadBytes(image);
    EXPECT_NE(EngineErrorOf([&] { engine_->CreatePDFfromImageFile(scratch("broken.pdf"), image); }).find(image),
              std::string::npos);
    EXPECT_FALSE(FileExistsOnDisk(scratch("broken.pdf")));
    EXPECT_EQ(ReadBytes(image), before);
  }
  EXPECT_NE(EngineErrorOf([&] { engine_->CreatePDFfromImageFile(kept, scratch("no such.png")); }).find("no such.png"),
            std::string::npos);
  EXPECT_EQ(PageTexts(kept), std::vector<std::string>{"Kept"});
  // A read-only output stays as it was.
  ASSERT_EQ(chmod(kept.c_str(), 0444), 0);
  EXPECT_NE(EngineErrorOf([&] { engine_->CreatePDFfromImageFile(kept, Corpus("gif/hopper.gif")); }).find(kept),
            std::string::npos);
  EXPECT_EQ(PageTexts(kept), std::vector<std::string>{"Kept"});
}

}  // namespace
}  // namespace vd::test
