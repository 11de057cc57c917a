// The pictures handed to the recogniser: each kind of image object a page may hold, written
// as a file and read back by Qt's readers, shows the same dark and light as the image
// object itself (palettes looked up, colours taken to grey, the meaning of one-bit samples,
// a /Decode turned round and fax polarity kept), and JPEG data goes over as it is stored.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <tuple>

#include <qpdf/QPDF.hh>

#include "common/PrivateDirectories.h"
#include "outside/acrobat/FaxEncoder.h"
#include "outside/acrobat/RasterImages.h"
#include "outside/ocr/RecognitionPictures.h"
#include "support/ContentChecks.h"

namespace vd::test {
namespace {

// Stripes of dark and light with a few mid tones, in the format asked for.
QImage stripes(QImage::Format format) {
  QImage picture(40, 24, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const bool dark = (x / 5 + y / 6) % 2 == 0;
      picture.setPixel(x, y, dark ? qRgb(20, 30, 90) : qRgb(240, 235, 220));
    }
  }
  if (format == QImage::Format_Mono || format == QImage::Format_Indexed8) {
    return picture.convertToFormat(format, Qt::ThresholdDither);
  }
  return picture.convertToFormat(format);
}

// How dark each pixel is: true for the dark half.
std::vector<bool> darkness(const QImage& picture) {
  const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
  std::vector<bool> dark;
  for (int y = 0; y < grey.height(); ++y) {
    for (int x = 0; x < grey.width(); ++x) dark.push_back(qGray(grey.pixel(x, y)) < 128);
  }
  return dark;
}

class RecognitionPicturesTest : public ::testing::Test {
 protected:
  RecognitionPicturesTest() { document_.emptyPDF(); }

  // The picture file written for image, read back; null when none was written.
  QImage written(QPDFObjectHandle image, std::string& why, std::string* bytes = nullptr) {
    const std::string path = WritePictureForRecognition(image, folder_.path() + "/picture", why);
    if (path.empty()) return {};
    if (bytes != nullptr) *bytes = ReadBytes(path);
    QImage picture(QString::fromStdString(path));
    std::remove(path.c_str());
    return picture;
  }

  QPDFObjectHandle imageObject(const std::string& data, const std::string& dictionary) {
    QPDFObjectHandle image = QPDFObjectHandle::newStream(&document_, data);
    for (const auto& [key, value] : QPDFObjectHandle::parse(dictionary).ditems()) image.getDict().replaceKey(key, value);
    return image;
  }

  QPDF document_;
  TemporaryDirectory folder_{"vellumdock-test-pictures"};
};

TEST_F(RecognitionPicturesTest, DecodedPicturesShowTheirDarkAndLightWhateverTheirColours) {
  for (const QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB32, QImage::Format_Indexed8,
                                      QImage::Format_Mono, QImage::Format_Grayscale16, QImage::Format_ARGB32}) {
    SCOPED_TRACE(static_cast<int>(format));
    const QImage source = stripes(format);
    std::string why;
    const QImage picture = written(MakeImageObject(document_, source), why);
    ASSERT_FALSE(picture.isNull()) << why;
    EXPECT_EQ(picture.size(), source.size());
    EXPECT_EQ(darkness(picture), darkness(source));
  }
}

TEST_F(RecognitionPicturesTest, OneBitSamplesAreReadWithTheirOwnMeaning) {
  // One row of eight pixels: 0x0F is four zeros, then four ones.
  const std::string row(1, '\x0F');
  // Dictionary, and whether the left half is dark.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"<< /Width 8 /Height 1 /BitsPerComponent 1 /ColorSpace /DeviceGray >>", true},
      {"<< /Width 8 /Height 1 /BitsPerComponent 1 /ColorSpace /DeviceGray /Decode [1 0] >>", false},
      {"<< /Width 8 /Height 1 /ImageMask true >>", true},
      {"<< /Width 8 /Height 1 /ImageMask true /Decode [1 0] >>", false},
      {"<< /Width 8 /Height 1 /BitsPerComponent 1 /ColorSpace [/Separation /Black /DeviceCMYK null] >>", false},
      {"<< /Width 8 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceCMYK >>", true},
  };
  for (const auto& [dictionary, leftDark] : cases) {
    SCOPED_TRACE(dictionary);
    // The CMYK case: four pixels of full black ink, four of none.
    std::string cmyk;
    for (int pixel = 0; pixel < 8; ++pixel) cmyk += pixel < 4 ? std::string("\0\0\0\xFF", 4) : std::string(4, '\0');
    const std::string data = dictionary.find("CMYK >>") != std::string::npos ? cmyk : row;
    std::string why;
    const QImage picture = written(imageObject(data, dictionary), why);
    ASSERT_FALSE(picture.isNull()) << why;
    ASSERT_EQ(picture.width(), 8);
    EXPECT_EQ(qGray(picture.pixel(0, 0)) < 128, leftDark);
    EXPECT_EQ(qGray(picture.pixel(7, 0)) < 128, !leftDark);
  }
}

TEST_F(RecognitionPicturesTest, FaxAndJpegDataGoOverAsStoredAndCodingsItCannotReadAreSaidSo) {
  // Rows with a one for each dark pixel, coded as a fax whose ones are black.
  const QImage page = stripes(QImage::Format_Grayscale8);
  const std::vector<bool> dark = darkness(page);
  std::string rows;
  for (int y = 0; y < page.height(); ++y) {
    for (int byte = 0; byte < page.width() / 8; ++byte) {
      unsigned char bits = 0;
      for (int bit = 0; bit < 8; ++bit) bits = static_cast<unsigned char>(bits << 1 | dark[static_cast<std::size_t>(y * page.width() + byte * 8 + bit)]);
      rows += static_cast<char>(bits);
    }
  }
  const std::string fax = EncodeGroup4(rows, 40, 24, 0);
  // BlackIs1, /Decode [1 0], and whether the page shows the picture turned round: with
  // BlackIs1 the code stream's black runs come out as ones, which grey shows white.
  for (const auto& [blackIs1, decodeTurned, inverted] :
       {std::tuple{false, false, false}, std::tuple{true, false, true}, std::tuple{true, true, false}}) {
    SCOPED_TRACE(std::to_string(blackIs1) + std::to_string(decodeTurned));
    QPDFObjectHandle image = imageObject(
        fax, std::string("<< /Width 40 /Height 24 /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /CCITTFaxDecode"
                         " /DecodeParms << /K -1 /Columns 40 /Rows 24 /BlackIs1 ") +
                 (blackIs1 ? "true" : "false") + " >>" + (decodeTurned ? " /Decode [1 0]" : "") + " >>");
    std::string why;
    const QImage picture = written(image, why);
    ASSERT_FALSE(picture.isNull()) << why;
    std::vector<bool> expected = dark;
    if (inverted) expected.flip();
    EXPECT_EQ(darkness(picture), expected);
  }

  const std::string jpeg = ReadBytes(Corpus("jpg/flower.jpg"));
  std::string why;
  std::string bytes;
  const QImage photo =
      written(imageObject(jpeg, "<< /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode >>"),
              why, &bytes);
  EXPECT_FALSE(photo.isNull()) << why;
  EXPECT_EQ(bytes, jpeg);

  for (const char* coding : {"/JBIG2Decode", "/JPXDecode"}) {
    SCOPED_TRACE(coding);
    EXPECT_TRUE(written(imageObject("x", std::string("<< /Width 8 /Height 8 /Filter ") + coding + " >>"), why).isNull());
    EXPECT_NE(why.find(std::string(coding + 1) + ", which the recogniser does not read"), std::string::npos) << why;
  }
}

}  // namespace
}  // namespace vd::test
