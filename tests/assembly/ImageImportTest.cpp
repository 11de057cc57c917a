// Images opened in the viewer and saved as PDF: every kind of image the program takes,
// from real files, checked by what ends up in the PDF.
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

QPDFObjectHandle firstImage(QPDF& document) {
  QPDFObjectHandle page = document.getAllPages().at(0);
  return page.getKey("/Resources").getKey("/XObject").getKey("/Im0");
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
      {"tif/multipage.tiff", 3}, {"tif/total-pages-zero.tif", 3},
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
  const std::string cutPng = scratch("cut.png");
  fileSystem().writeFile(cutPng, ReadBytes(Corpus("png/basn3p08.png")).substr(0, 600));
  for (const std::string& image : {Corpus("broken/truncated_jpeg.jpg"), Corpus("broken/badcrc.png"), empty, garbage,
                                   cutPng, Corpus("wmf/drawing.wmf"), Corpus("emf/drawing.emf")}) {
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

TEST_F(ImageImportTest, AnExistingOutputIsReplaced) {
  const std::string out = makePdf("out.pdf", {"Old", "Older"});
  engine_.CreatePDFfromImageFile(out, Corpus("gif/hopper.gif"));
  EXPECT_EQ(PageCount(out), 1);
}

}  // namespace
}  // namespace vd::test
