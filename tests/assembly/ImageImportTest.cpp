// Images opened in the viewer and saved as PDF: every kind of image the program takes,
// from real files, checked by what ends up in the PDF.
#include <sys/stat.h>
#include <tiffio.h>

#include <QImage>
#include <cstdint>
#include <functional>
#include <set>
#include <sstream>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include "AssemblyFixture.h"
#include "platform/FileSystem.h"

namespace vd::test {
namespace {

class ImageImportTest : public AssemblyTest {
 protected:
  std::string convert(const std::string& image, const ImageInfoOptions& options = {}) {
    const std::string out = scratch("out.pdf");
    engine_.CreatePDFfromImageFile(out, image, options);
    return out;
  }
};

QPDFObjectHandle pageImage(QPDF& document, std::size_t index) {
  QPDFObjectHandle page = document.getAllPages().at(index);
  return page.getKey("/Resources").getKey("/XObject").getKey("/Im0");
}

QPDFObjectHandle firstImage(QPDF& document) { return pageImage(document, 0); }

std::string decodedSamples(QPDFObjectHandle image) {
  const auto data = image.getStreamData(qpdf_dl_all);
  return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

unsigned sample16(const std::string& samples, std::size_t index) {
  return static_cast<unsigned char>(samples[index * 2]) << 8 | static_cast<unsigned char>(samples[index * 2 + 1]);
}

// A tiled TIFF page written through libtiff: width x height, square tiles of tile pixels,
// each sample given by value(x, y, channel).
struct TiledPage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits = 16;
  std::uint16_t photometric = PHOTOMETRIC_RGB;
  std::uint16_t samplesPerPixel = 3;
  std::uint16_t extraSample = 0;  // the kind of a fourth (or second) sample, 0 for none
  float resolution = 0;           // 0 for no resolution tags
  std::uint16_t resolutionUnit = RESUNIT_INCH;
  std::function<unsigned(std::uint32_t x, std::uint32_t y, int channel)> value;
  std::uint32_t tile = 16;
};

void WriteTiledTiff(const std::string& path, const std::vector<TiledPage>& pages) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (const TiledPage& page : pages) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    const std::uint32_t side = page.tile;
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, side);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, side);
    if (page.extraSample != 0) {
      std::uint16_t kinds[] = {page.extraSample};
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    if (page.resolution > 0) {
      TIFFSetField(tiff, TIFFTAG_XRESOLUTION, page.resolution);
      TIFFSetField(tiff, TIFFTAG_YRESOLUTION, page.resolution);
      TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    }
    const std::size_t bytesPerSample = page.bits / 8u;
    std::vector<unsigned char> tile(side * side * page.samplesPerPixel * bytesPerSample);
    for (std::uint32_t top = 0; top < page.height; top += side) {
      for (std::uint32_t left = 0; left < page.width; left += side) {
        for (std::uint32_t y = 0; y < side; ++y) {
          for (std::uint32_t x = 0; x < side; ++x) {
            for (int c = 0; c < page.samplesPerPixel; ++c) {
              const unsigned v = left + x < page.width && top + y < page.height ? page.value(left + x, top + y, c) : 0;
              const std::size_t at = (y * side + x) * page.samplesPerPixel + static_cast<std::size_t>(c);
              if (bytesPerSample == 2) {
                const auto v16 = static_cast<std::uint16_t>(v);
                std::memcpy(&tile[at * 2], &v16, 2);
              } else {
                tile[at] = static_cast<unsigned char>(v);
              }
            }
          }
        }
        ASSERT_GE(TIFFWriteTile(tiff, tile.data(), left, top, 0, 0), 0);
      }
    }
    ASSERT_EQ(TIFFWriteDirectory(tiff), 1);
  }
  TIFFClose(tiff);
}

// The page rendered at 72 dpi by poppler: one pixel a point, RGB triples.
std::string RenderedPixels(const std::string& pdf, int page, int& width, int& height) {
  std::string ppm;
  RunProgram("pdftoppm", {"-r", "72", "-f", std::to_string(page), "-l", std::to_string(page), pdf}, &ppm);
  std::istringstream header(ppm);
  std::string magic;
  int maximum = 0;
  header >> magic >> width >> height >> maximum;
  if (!header || magic != "P6" || maximum != 255) return {};
  return ppm.substr(static_cast<std::size_t>(header.tellg()) + 1);
}

std::vector<double> mediaBox(QPDF& document, std::size_t index) {
  QPDFObjectHandle page = document.getAllPages().at(index);
  QPDFObjectHandle box = page.getKey("/MediaBox");
  std::vector<double> values;
  for (int i = 0; i < box.getArrayNItems(); ++i) values.push_back(box.getArrayItem(i).getNumericValue());
  return values;
}

TEST_F(ImageImportTest, EveryImageKindBecomesOnePagePerFrame) {
  const std::vector<std::pair<std::string, int>> images = {
      {"jpg/app13-multiple.jpg", 1}, {"jpg/flower.jpg", 1}, {"jpg/hopper_orientation_6.jpg", 1},
      {"jpg/pil_sample_cmyk.jpg", 1}, {"png/basn2c16.png", 1}, {"png/basn3p08.png", 1},
      {"png/basn6a16.png", 1}, {"png/i_trns.png", 1}, {"png/pil123p.png", 1}, {"png/pil123rgba.png", 1},
      {"png/transparent.png", 1}, {"gif/chi.gif", 31}, {"gif/dispose_bgnd.gif", 5}, {"gif/hopper.gif", 1},
      {"tif/g4-multi.tiff", 3}, {"tif/hopper_g4.tif", 1}, {"tif/hopper_jpg.tif", 1}, {"tif/hopper_lzw.tif", 1},
      {"tif/multipage.tiff", 3}, {"tif/total-pages-zero.tif", 3}, {"tif/tiff_16bit_RGB.tiff", 1},
      {"bmp/hopper.bmp", 1}, {"bmp/pal8rle.bmp", 1}, {"bmp/rgb24.bmp", 1}, {"rle/hopper_rle8.rle", 1},
      {"rle/pal4rle.rle", 1}, {"ico/black_and_white.ico", 1}, {"ico/hopper_256x256.ico", 1},
      {"ico/python.ico", 1}, {"cur/deerstalker.cur", 1}};
  for (const auto& [image, pages] : images) {
    SCOPED_TRACE(image);
    const std::string out = convert(Corpus(image));
    EXPECT_EQ(PageCount(out), pages);
    EXPECT_EQ(RunProgram("qpdf", {"--check", out}), 0);
    EXPECT_TRUE(IsLinearized(out));  // saved with flags 37
    EXPECT_TRUE(FileExistsOnDisk(Corpus(image)));
  }
}

TEST_F(ImageImportTest, JpegDataIsEmbeddedByteForByte) {
  for (const char* image : {"jpg/app13-multiple.jpg", "jpg/flower.jpg", "jpg/hopper_orientation_6.jpg",
                            "jpg/pil_sample_cmyk.jpg"}) {
    SCOPED_TRACE(image);
    QPDF document;
    document.processFile(convert(Corpus(image)).c_str());
    QPDFObjectHandle picture = firstImage(document);
    EXPECT_TRUE(picture.getDict().getKey("/Filter").isNameAndEquals("/DCTDecode"));
    EXPECT_EQ(picture.getRawStreamData()->getSize(), ReadBytes(Corpus(image)).size());
    const auto raw = picture.getRawStreamData();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()), ReadBytes(Corpus(image)));
  }
}

TEST_F(ImageImportTest, ColourSpacesFollowTheImage) {
  QPDF cmyk;
  cmyk.processFile(convert(Corpus("jpg/pil_sample_cmyk.jpg")).c_str());
  QPDFObjectHandle picture = firstImage(cmyk).getDict();
  EXPECT_TRUE(picture.getKey("/ColorSpace").isNameAndEquals("/DeviceCMYK"));
  EXPECT_EQ(picture.getKey("/Decode").unparse(), "[ 1 0 1 0 1 0 1 0 ]");

  QPDF rotated;
  rotated.processFile(convert(Corpus("jpg/hopper_orientation_6.jpg")).c_str());
  QPDFObjectHandle rotatedPage = rotated.getAllPages().at(0);
  EXPECT_EQ(rotatedPage.getKey("/Rotate").getIntValue(), 90);

  QPDF alpha;
  alpha.processFile(convert(Corpus("png/transparent.png")).c_str());
  EXPECT_TRUE(firstImage(alpha).getDict().getKey("/SMask").isStream());

  QPDF palette;
  palette.processFile(convert(Corpus("png/basn3p08.png")).c_str());
  EXPECT_EQ(firstImage(palette).getDict().getKey("/ColorSpace").getArrayItem(0).getName(), "/Indexed");

  QPDF bilevel;
  bilevel.processFile(convert(Corpus("tif/hopper_g4.tif")).c_str());
  EXPECT_EQ(firstImage(bilevel).getDict().getKey("/BitsPerComponent").getIntValue(), 1);

  QPDF deep;
  deep.processFile(convert(Corpus("png/basn6a16.png")).c_str());
  EXPECT_EQ(firstImage(deep).getDict().getKey("/BitsPerComponent").getIntValue(), 16);
}

TEST_F(ImageImportTest, PageSizeFollowsResolution) {
  QPDF fax;
  fax.processFile(convert(Corpus("tif/g4-multi.tiff")).c_str());
  for (std::size_t page = 0; page < 3; ++page) {
    const std::vector<double> box = mediaBox(fax, page);
    EXPECT_NEAR(box[2], 595.3, 0.5);  // 3307 px at 400 dpi: A4
    EXPECT_NEAR(box[3], 841.9, 0.5);
  }
  QPDF at96;
  at96.processFile(convert(Corpus("bmp/hopper.bmp")).c_str());
  EXPECT_NEAR(mediaBox(at96, 0)[2], 96, 0.1);  // 128 px at 96 dpi

  QPDF without;
  without.processFile(convert(Corpus("png/basn3p08.png")).c_str());
  EXPECT_NEAR(mediaBox(without, 0)[2], 32, 0.01);  // no resolution: 72 dpi

  QPDF sizes;
  sizes.processFile(convert(Corpus("tif/multipage.tiff")).c_str());
  EXPECT_NEAR(mediaBox(sizes, 2)[2], 20, 0.01);  // pages keep their own sizes
}

TEST_F(ImageImportTest, DeepTiledTiffKeepsEverySample) {
  // Qt reads this file's 16-bit tiles row by row, which libtiff refuses; copied into plain
  // strips Qt reads it, which gives the samples to expect.
  const std::string strips = scratch("strips.tif");
  ASSERT_EQ(RunProgram("tiffcp", {"-s", "-c", "none", Corpus("tif/tiff_16bit_RGB.tiff"), strips}), 0);
  const QImage expected = QImage(QString::fromStdString(strips)).convertToFormat(QImage::Format_RGBX64);
  ASSERT_EQ(expected.size(), QSize(100, 40));

  const std::string out = convert(Corpus("tif/tiff_16bit_RGB.tiff"));
  QPDF document;
  document.processFile(out.c_str());
  ASSERT_EQ(document.getAllPages().size(), 1u);
  QPDFObjectHandle image = firstImage(document);
  EXPECT_EQ(image.getDict().getKey("/BitsPerComponent").getIntValue(), 16);
  EXPECT_TRUE(image.getDict().getKey("/ColorSpace").isNameAndEquals("/DeviceRGB"));
  EXPECT_EQ(mediaBox(document, 0), (std::vector<double>{0, 0, 100, 40}));  // 72 dpi
  const std::string samples = decodedSamples(image);
  ASSERT_EQ(samples.size(), 100u * 40u * 3u * 2u);
  int mismatches = 0;
  for (int y = 0; y < 40; ++y) {
    const auto* row = reinterpret_cast<const QRgba64*>(expected.constScanLine(y));
    for (int x = 0; x < 100; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * 100 + static_cast<std::size_t>(x)) * 3;
      mismatches += sample16(samples, at) != row[x].red() || sample16(samples, at + 1) != row[x].green() ||
                    sample16(samples, at + 2) != row[x].blue();
    }
  }
  EXPECT_EQ(mismatches, 0);

  // What a viewer shows: the picture, not a blank page. The renderer places and smooths
  // the picture a little, so the page is compared by its average colour and its variety.
  int width = 0;
  int height = 0;
  const std::string pixels = RenderedPixels(out, 1, width, height);
  ASSERT_EQ(pixels.size(), 100u * 40u * 3u);
  double shownSum[3] = {0, 0, 0};
  double expectedSum[3] = {0, 0, 0};
  std::set<std::string> shownColours;
  for (int y = 0; y < 40; ++y) {
    const auto* row = reinterpret_cast<const QRgba64*>(expected.constScanLine(y));
    for (int x = 0; x < 100; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * 100 + static_cast<std::size_t>(x)) * 3;
      shownColours.insert(pixels.substr(at, 3));
      for (int c = 0; c < 3; ++c) shownSum[c] += static_cast<unsigned char>(pixels[at + static_cast<std::size_t>(c)]);
      expectedSum[0] += row[x].red8();
      expectedSum[1] += row[x].green8();
      expectedSum[2] += row[x].blue8();
    }
  }
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(shownSum[c] / 4000, expectedSum[c] / 4000, 2.0) << "channel " << c;
  EXPECT_GT(shownColours.size(), 500u);
  EXPECT_NE(expected.pixel(0, 0), expected.pixel(99, 39));  // the reference itself is no flat colour
}

TEST_F(ImageImportTest, TiledTiffPagesOfEveryLayoutKeepTheirSamplesAndSizes) {
  const auto rgb = [](std::uint32_t x, std::uint32_t y, int c) { return (x * 1021 + y * 3067 + c * 17) & 0xFFFF; };
  std::vector<TiledPage> pages(4);
  pages[0] = {37, 21, 16, PHOTOMETRIC_RGB, 3, 0, 150, RESUNIT_INCH, rgb};
  pages[1] = {20, 18, 16, PHOTOMETRIC_MINISWHITE, 1, 0, 40, RESUNIT_CENTIMETER,
              [](std::uint32_t x, std::uint32_t y, int) { return x * 3001 + y * 7; }};
  pages[2] = {17, 17, 16, PHOTOMETRIC_RGB, 4, EXTRASAMPLE_UNASSALPHA, 0, RESUNIT_INCH,
              [&](std::uint32_t x, std::uint32_t y, int c) { return c == 3 ? 65535 - x * 3000 : rgb(x, y, c); }, 32};
  pages[3] = {19, 18, 8, PHOTOMETRIC_MINISBLACK, 1, 0, 0, RESUNIT_INCH,
              [](std::uint32_t x, std::uint32_t y, int) { return (x * 18 + y) & 0xFF; }};
  // Qt refuses the third page (its one tile holds more than the whole picture), so every
  // page goes through libtiff; Qt would give the 16-bit grey page only 8 bits.
  const std::string tiff = scratch("layouts one.tif");
  WriteTiledTiff(tiff, pages);

  QPDF document;
  document.processFile(convert(tiff).c_str());
  ASSERT_EQ(document.getAllPages().size(), 4u);
  EXPECT_NEAR(mediaBox(document, 0)[2], 37 * 72.0 / 150, 0.01);
  EXPECT_NEAR(mediaBox(document, 1)[3], 18 * 72.0 / (40 * 2.54), 0.01);
  EXPECT_NEAR(mediaBox(document, 2)[2], 17, 0.01);

  const std::string colour = decodedSamples(pageImage(document, 0));
  ASSERT_EQ(colour.size(), 37u * 21u * 3u * 2u);
  int wrong = 0;
  for (std::uint32_t y = 0; y < 21; ++y) {
    for (std::uint32_t x = 0; x < 37; ++x) {
      for (int c = 0; c < 3; ++c) wrong += sample16(colour, (y * 37 + x) * 3 + static_cast<std::size_t>(c)) != rgb(x, y, c);
    }
  }
  EXPECT_EQ(wrong, 0);

  // White is zero in the file, black is zero in the PDF.
  QPDFObjectHandle greyImage = pageImage(document, 1);
  EXPECT_TRUE(greyImage.getDict().getKey("/ColorSpace").isNameAndEquals("/DeviceGray"));
  EXPECT_EQ(greyImage.getDict().getKey("/BitsPerComponent").getIntValue(), 16);
  const std::string grey = decodedSamples(greyImage);
  ASSERT_EQ(grey.size(), 20u * 18u * 2u);
  EXPECT_EQ(sample16(grey, 0), 65535u);
  EXPECT_EQ(sample16(grey, 17 * 20 + 19), 65535u - (19 * 3001 + 17 * 7));

  QPDFObjectHandle mask = pageImage(document, 2).getDict().getKey("/SMask");
  ASSERT_TRUE(mask.isStream());
  EXPECT_EQ(mask.getDict().getKey("/BitsPerComponent").getIntValue(), 16);
  const std::string alpha = decodedSamples(mask);
  ASSERT_EQ(alpha.size(), 17u * 17u * 2u);
  EXPECT_EQ(sample16(alpha, 0), 65535u);
  EXPECT_EQ(sample16(alpha, 5 * 17 + 16), 65535u - 16 * 3000);
  const std::string masked = decodedSamples(pageImage(document, 2));
  EXPECT_EQ(sample16(masked, (4 * 17 + 9) * 3 + 1), rgb(9, 4, 1));  // colour kept apart from its alpha

  const std::string eight = decodedSamples(pageImage(document, 3));
  ASSERT_EQ(eight.size(), 19u * 18u);
  wrong = 0;
  for (std::uint32_t y = 0; y < 18; ++y) {
    for (std::uint32_t x = 0; x < 19; ++x) wrong += static_cast<unsigned char>(eight[y * 19 + x]) != ((x * 18 + y) & 0xFF);
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(ImageImportTest, DamagedTiffsRaiseNamingThePageAndLoseNothing) {
  const std::string whole = ReadBytes(Corpus("tif/tiff_16bit_RGB.tiff"));
  const std::string cut = scratch("cut -16bit.tiff");
  WriteBytes(cut, whole.substr(0, whole.size() / 2));
  const std::string headerOnly = scratch("header only.tif");
  WriteBytes(headerOnly, std::string("II*\0\x08\0\0\0", 8) + std::string(64, '\xff'));
  const std::string bigHeaderOnly = scratch("big.tif");
  WriteBytes(bigHeaderOnly, std::string("II+\0\x08\0\0\0", 8) + std::string(64, '\0'));

  // Two good pages, then a third whose tile data is cut off.
  const auto ramp = [](std::uint32_t x, std::uint32_t y, int c) { return x * 1000 + y * 10 + static_cast<unsigned>(c); };
  std::vector<TiledPage> pages(3, TiledPage{40, 40, 16, PHOTOMETRIC_RGB, 3, 0, 0, RESUNIT_INCH, ramp});
  const std::string threePages = scratch("three.tif");
  WriteTiledTiff(threePages, pages);
  const std::string good = ReadBytes(threePages);
  QPDF three;
  three.processFile(convert(threePages).c_str());
  ASSERT_EQ(three.getAllPages().size(), 3u);
  // The last page's directory sits at the end of the file, after its tiles: spoil its first
  // tile's offset so it points past the end.
  TIFF* reader = TIFFOpen(threePages.c_str(), "r");
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(TIFFSetDirectory(reader, 2), 1);
  const toff_t lastDirectory = TIFFCurrentDirOffset(reader);
  TIFFClose(reader);
  std::string spoilt = good;
  const auto entries = static_cast<unsigned char>(spoilt[lastDirectory]) | static_cast<unsigned char>(spoilt[lastDirectory + 1]) << 8;
  bool found = false;
  for (int i = 0; i < entries; ++i) {
    const std::size_t entry = lastDirectory + 2 + static_cast<std::size_t>(i) * 12;
    const unsigned tag = static_cast<unsigned char>(spoilt[entry]) | static_cast<unsigned char>(spoilt[entry + 1]) << 8;
    if (tag != TIFFTAG_TILEOFFSETS) continue;
    const std::uint32_t list = static_cast<unsigned char>(spoilt[entry + 8]) | static_cast<unsigned char>(spoilt[entry + 9]) << 8 |
                               static_cast<unsigned char>(spoilt[entry + 10]) << 16 | static_cast<unsigned char>(spoilt[entry + 11]) << 24;
    spoilt.replace(list, 4, std::string("\xf0\xff\xff\x7f", 4));
    found = true;
  }
  ASSERT_TRUE(found);
  const std::string thirdSpoilt = scratch("third spoilt.tif");
  WriteBytes(thirdSpoilt, spoilt);

  for (const std::string& image : {cut, headerOnly, bigHeaderOnly, thirdSpoilt}) {
    SCOPED_TRACE(image);
    const std::string out = scratch("damaged.pdf");
    const std::string before = ReadBytes(image);
    try {
      engine_.CreatePDFfromImageFile(out, image);
      ADD_FAILURE() << "a damaged TIFF was accepted";
    } catch (const EngineError& error) {
      EXPECT_EQ(error.description().rfind("The image " + image + " cannot be opened: ", 0), 0u) << error.description();
      if (image == thirdSpoilt) {
        EXPECT_NE(error.description().find("page 3"), std::string::npos) << error.description();
      }
    }
    EXPECT_FALSE(FileExistsOnDisk(out));
    EXPECT_EQ(ReadBytes(image), before);
  }
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

TEST_F(ImageImportTest, BrokenImagesRaiseAndLoseNothing) {
  const std::string empty = scratch("empty.png");
  fileSystem().writeFile(empty, "");
  const std::string garbage = scratch("noise.gif");
  fileSystem().writeFile(garbage, std::string(4096, '\x5a'));
  const std::string cutTiff = scratch("cut.tif");
  fileSystem().writeFile(cutTiff, ReadBytes(Corpus("tif/hopper_lzw.tif")).substr(0, 300));
  const std::string cutPng = scratch("cut.png");
  fileSystem().writeFile(cutPng, ReadBytes(Corpus("png/basn3p08.png")).substr(0, 600));
  for (const std::string& image : {Corpus("broken/truncated_jpeg.jpg"), Corpus("broken/badcrc.png"), empty, garbage,
                                   cutPng, cutTiff, Corpus("wmf/drawing.wmf"), Corpus("emf/drawing.emf")}) {
    SCOPED_TRACE(image);
    const std::string out = scratch("broken.pdf");
    EXPECT_THROW(engine_.CreatePDFfromImageFile(out, image), EngineError);
    EXPECT_FALSE(FileExistsOnDisk(out));
    EXPECT_TRUE(FileExistsOnDisk(image));
  }
  try {
    engine_.CreatePDFfromImageFile(scratch("x.pdf"), Corpus("wmf/santa.wmf"));
    ADD_FAILURE() << "a metafile was accepted";
  } catch (const EngineError& error) {
    EXPECT_NE(error.description().find("office suite"), std::string::npos);
    EXPECT_EQ(error.number(), EngineError::kNumber);
  }
}

TEST_F(ImageImportTest, MissingImageRaisesBeforeTouchingTheOutput) {
  const std::string out = makePdf("keep.pdf", {"Kept"});
  try {
    engine_.CreatePDFfromImageFile(out, scratch("no such.png"));
    ADD_FAILURE() << "no error for a missing image";
  } catch (const EngineError& error) {
    EXPECT_EQ(error.description(), "File " + scratch("no such.png") + " does not exist.");
  }
  EXPECT_EQ(PageTexts(out), std::vector<std::string>{"Kept"});
}

TEST_F(ImageImportTest, AnExistingOutputIsReplacedUnlessItCannotBeDeleted) {
  const std::string out = makePdf("out.pdf", {"Old", "Older"});
  engine_.CreatePDFfromImageFile(out, Corpus("gif/hopper.gif"));
  EXPECT_EQ(PageCount(out), 1);

  // A read-only output stays as it was, and the failure is an engine error like any other.
  const std::string locked = makePdf("locked.pdf", {"Locked"});
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  try {
    engine_.CreatePDFfromImageFile(locked, Corpus("gif/hopper.gif"));
    ADD_FAILURE() << "a read-only output was taken for done";
  } catch (const EngineError& error) {
    EXPECT_EQ(error.source(), "Vellumdock");
    EXPECT_EQ(error.number(), EngineError::kNumber);
    EXPECT_NE(error.description().find(locked), std::string::npos) << error.description();
  } catch (const std::exception& error) {
    ADD_FAILURE() << "not an engine error: " << error.what();
  }
  EXPECT_EQ(PageTexts(locked), std::vector<std::string>{"Locked"});
}

}  // namespace
}  // namespace vd::test
