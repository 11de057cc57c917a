// Images opened in the viewer and saved as PDF: every kind of image the program takes,
// from real files, checked by what ends up in the PDF.
#include <sys/stat.h>
#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <functional>

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

std::vector<double> mediaBox(QPDF& document, std::size_t index) {
  QPDFObjectHandle page = document.getAllPages().at(index);
  QPDFObjectHandle box = page.getKey("/MediaBox");
  std::vector<double> values;
  for (int i = 0; i < box.getArrayNItems(); ++i) values.push_back(box.getArrayItem(i).getNumericValue());
  return values;
}

TEST_F(ImageImportTest, EveryImageKindBecomesOnePagePerFrame) {
  const std::vector<std::pair<std::string, int>> images = {
      {"png/pil123p.png", 1},         {"gif/chi.gif", 31},          {"tif/g4-multi.tiff", 3},
      {"tif/tiff_16bit_RGB.tiff", 1}, {"tif/multipage.tiff", 3},    {"tif/total-pages-zero.tif", 3},
      {"bmp/rgb24.bmp", 1},           {"rle/hopper_rle8.rle", 1},   {"ico/hopper_256x256.ico", 1}};
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
  for (const char* image : {"jpg/app13-multiple.jpg", "jpg/pil_sample_cmyk.jpg"}) {
    SCOPED_TRACE(image);
    QPDF document;
    document.processFile(convert(Corpus(image)).c_str());
    QPDFObjectHandle picture = firstImage(document);
    EXPECT_TRUE(picture.getDict().getKey("/Filter").isNameAndEquals("/DCTDecode"));
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
}

TEST_F(ImageImportTest, PageSizeFollowsResolution) {
  QPDF fax;
  fax.processFile(convert(Corpus("tif/g4-multi.tiff")).c_str());
  const std::vector<double> box = mediaBox(fax, 2);
  EXPECT_NEAR(box[2], 595.3, 0.5);  // 3307 px at 400 dpi: A4
  EXPECT_NEAR(box[3], 841.9, 0.5);
}

TEST_F(ImageImportTest, TiledTiffPagesOfEveryLayoutKeepTheirSamplesAndSizes) {
  const auto rgb = [](std::uint32_t x, std::uint32_t y, int c) { return (x * 1021 + y * 3067 + c * 17) & 0xFFFF; };
  std::vector<TiledPage> pages(3);
  pages[0] = {37, 21, 16, PHOTOMETRIC_RGB, 3, 0, 150, RESUNIT_INCH, rgb};
  pages[1] = {20, 18, 16, PHOTOMETRIC_MINISWHITE, 1, 0, 40, RESUNIT_CENTIMETER,
              [](std::uint32_t x, std::uint32_t y, int) { return x * 3001 + y * 7; }};
  pages[2] = {17, 17, 16, PHOTOMETRIC_RGB, 4, EXTRASAMPLE_UNASSALPHA, 0, RESUNIT_INCH,
              [&](std::uint32_t x, std::uint32_t y, int c) { return c == 3 ? 65535 - x * 3000 : rgb(x, y, c); }, 32};
  // Qt refuses the third page (its one tile holds more than the whole picture) and would
  // give the 16-bit grey page only 8 bits, so every page goes through libtiff.
  const std::string tiff = scratch("layouts one.tif");
  WriteTiledTiff(tiff, pages);

  QPDF document;
  document.processFile(convert(tiff).c_str());
  ASSERT_EQ(document.getAllPages().size(), 3u);
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
