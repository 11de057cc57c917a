#include "outside/acrobat/ImageImport.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <vector>

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "common/EngineError.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/PrivateDirectories.h"
#include "common/Text.h"
#include "outside/acrobat/GifPicture.h"
#include "outside/acrobat/ImageFacts.h"
#include "outside/acrobat/RasterImages.h"
#include "outside/acrobat/TiffPages.h"
#include "outside/office/OfficeJobs.h"
#include "outside/office/OfficeSuite.h"
#include "platform/FileSystem.h"

namespace vd {
namespace {

// Beyond this an image is more likely a mistake than a picture to print.
constexpr std::uint64_t kLargestImageFile = 1ull << 30;
constexpr int kMostPages = 10000;

[[noreturn]] void cannotOpen(const std::string& path, const std::string& reason) {
  throw EngineError("The image " + path + " cannot be opened: " + reason + ".");
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string result = text;
  while (!result.empty() && result.back() == '0') result.pop_back();
  if (!result.empty() && result.back() == '.') result.pop_back();
  return result;
}

// One page showing the image over its whole area.
void addImagePage(QPDF& document, QPDFObjectHandle image, int width, int height, Resolution resolution,
                  int quarterTurns) {
  const double pageWidth = width * 72.0 / resolution.x;
  const double pageHeight = height * 72.0 / resolution.y;
  const std::string content = "q " + number(pageWidth) + " 0 0 " + number(pageHeight) + " 0 0 cm /Im0 Do Q\n";
  QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
  page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
  page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(0, 0, pageWidth, pageHeight)));
  QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
  xobjects.replaceKey("/Im0", image);
  QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
  resources.replaceKey("/XObject", xobjects);
  page.replaceKey("/Resources", resources);
  page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, content));
  if (quarterTurns != 0) page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(quarterTurns * 90));
  QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(document.makeIndirectObject(page)), false);
}

void importJpeg(QPDF& document, const std::string& path, const std::string& bytes) {
  std::string problem;
  const std::optional<JpegFacts> jpeg = ReadJpegFacts(bytes, problem);
  if (!jpeg) cannotOpen(path, problem);
  QPDFObjectHandle image = QPDFObjectHandle::newStream(&document);
  image.replaceStreamData(bytes, QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());
  QPDFObjectHandle dictionary = image.getDict();
  dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(jpeg->width));
  dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(jpeg->height));
  dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
  const char* space = jpeg->components == 1 ? "/DeviceGray" : jpeg->components == 3 ? "/DeviceRGB" : "/DeviceCMYK";
  dictionary.replaceKey("/ColorSpace", QPDFObjectHandle::newName(space));
  if (jpeg->adobeInvertedCmyk) dictionary.replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]"));
  addImagePage(document, image, jpeg->width, jpeg->height, jpeg->resolution.value_or(Resolution{}), jpeg->quarterTurns);
}

// True when the PNG went in as it is; false when it needs decoding (transparency, interlace).
bool importPngAsItIs(QPDF& document, const std::string& path, const std::string& bytes) {
  std::string problem;
  std::optional<PngFacts> png = ReadPngFacts(bytes, problem);
  if (!png) cannotOpen(path, problem);
  if (!CanEmbedPngData(*png)) return false;
  if (!PngDataIsComplete(*png)) cannotOpen(path, "its image data is damaged or incomplete");
  const int colours = png->colourType == 2 ? 3 : 1;
  QPDFObjectHandle parameters = QPDFObjectHandle::newDictionary();
  parameters.replaceKey("/Predictor", QPDFObjectHandle::newInteger(15));
  parameters.replaceKey("/Colors", QPDFObjectHandle::newInteger(colours));
  parameters.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(png->bitDepth));
  parameters.replaceKey("/Columns", QPDFObjectHandle::newInteger(png->width));
  QPDFObjectHandle image = QPDFObjectHandle::newStream(&document);
  image.replaceStreamData(png->compressedData, QPDFObjectHandle::newName("/FlateDecode"), parameters);
  QPDFObjectHandle dictionary = image.getDict();
  dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(png->width));
  dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(png->height));
  dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(png->bitDepth));
  if (png->colourType == 3) {
    dictionary.replaceKey("/ColorSpace",
                          QPDFObjectHandle::newArray({QPDFObjectHandle::newName("/Indexed"),
                                                      QPDFObjectHandle::newName("/DeviceRGB"),
                                                      QPDFObjectHandle::newInteger(static_cast<long long>(png->palette.size() / 3) - 1),
                                                      QPDFObjectHandle::newString(png->palette)}));
  } else {
    dictionary.replaceKey("/ColorSpace", QPDFObjectHandle::newName(colours == 3 ? "/DeviceRGB" : "/DeviceGray"));
  }
  addImagePage(document, image, png->width, png->height, png->resolution.value_or(Resolution{}), 0);
  return true;
}

// The resolution of a picture, from the file's own header (Qt's readers report a screen
// default for images that have none, which would make those pages too small).
std::optional<Resolution> frameResolution(const std::string& bytes, const QByteArray& format) {
  if (format == "bmp") return ReadBmpResolution(bytes);
  if (format == "png") {
    std::string problem;
    if (std::optional<PngFacts> png = ReadPngFacts(bytes, problem)) return png->resolution;
  }
  return std::nullopt;
}

// Classic and big TIFF headers, in either byte order.
bool looksLikeTiff(const std::string& bytes) {
  return bytes.size() >= 4 && ((bytes.compare(0, 2, "II") == 0 && (bytes[2] == 42 || bytes[2] == 43) && bytes[3] == 0) ||
                               (bytes.compare(0, 2, "MM") == 0 && bytes[2] == 0 && (bytes[3] == 42 || bytes[3] == 43)));
}

// A bilevel page as CCITT data: no decoding on the way, and no larger than the file.
QPDFObjectHandle makeFaxImage(QPDF& document, const FaxPage& fax) {
  QPDFObjectHandle parameters = QPDFObjectHandle::newDictionary();
  parameters.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
  parameters.replaceKey("/Columns", QPDFObjectHandle::newInteger(fax.width));
  parameters.replaceKey("/Rows", QPDFObjectHandle::newInteger(fax.height));
  if (fax.blackIs1) parameters.replaceKey("/BlackIs1", QPDFObjectHandle::newBool(true));
  QPDFObjectHandle image = QPDFObjectHandle::newStream(&document);
  image.replaceStreamData(fax.data, QPDFObjectHandle::newName("/CCITTFaxDecode"), parameters);
  QPDFObjectHandle dictionary = image.getDict();
  dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(fax.width));
  dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(fax.height));
  dictionary.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
  dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(1));
  return image;
}

// TIFF pages in file order: bilevel CCITT pages as fax data, CMYK pages as their samples,
// the others decoded by Qt's reader where it can (reader, when qtReads), by libtiff where it cannot or would keep
// more of a deep page.
void importTiff(QPDF& document, const std::string& bytes, QImageReader& reader, bool qtReads) {
  TiffPages tiff(bytes);
  const int count = tiff.pageCount(kMostPages);
  for (int i = 0; i < count; ++i) {
    if (std::optional<FaxPage> fax = tiff.faxPage(i)) {
      addImagePage(document, makeFaxImage(document, *fax), fax->width, fax->height,
                   fax->resolution.value_or(Resolution{}), 0);
      continue;
    }
    // CMYK stays CMYK, as a print shop expects: Qt's reader would make it RGB.
    if (std::optional<CmykPage> cmyk = tiff.cmykPage(i)) {
      addImagePage(document, MakeCmykImageObject(document, cmyk->width, cmyk->height, cmyk->bits, cmyk->samples, cmyk->alpha),
                   cmyk->width, cmyk->height, cmyk->resolution.value_or(Resolution{}), 0);
      continue;
    }
    QImage frame;
    if (!tiff.isDeep(i)) qtReads = qtReads && reader.jumpToImage(i) && reader.read(&frame) && !frame.isNull();
    if (qtReads && !frame.isNull()) {
      addImagePage(document, MakeImageObject(document, frame), frame.width(), frame.height(),
                   tiff.resolutionOf(i).value_or(Resolution{}), 0);
      continue;
    }
    // A page Qt cannot decode is no reason to drop it: libtiff reads them all.
    const TiffPage page = tiff.decode(i);
    addImagePage(document, MakeImageObject(document, page.picture), page.picture.width(), page.picture.height(),
                 page.resolution.value_or(Resolution{}), 0);
  }
}

void importDecoded(QPDF& document, const std::string& path, const std::string& bytes) {
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(false);
  const QByteArray format = reader.format();
  if (format == "tif" || format == "tiff" || looksLikeTiff(bytes)) return importTiff(document, bytes, reader, !format.isEmpty());
  if (format.isEmpty()) cannotOpen(path, "it is not an image format this program reads");

  std::vector<QImage> frames;
  const int count = std::max(1, std::min(reader.imageCount(), kMostPages));
  for (int i = 0; i < count; ++i) {
    QImage frame;
    if (!reader.read(&frame) || frame.isNull()) {
      if (i == 0) cannotOpen(path, reader.errorString().toStdString());
      break;
    }
    frames.push_back(std::move(frame));
    reader.jumpToNextImage();
  }
  if (format == "ico" || format == "cur") {
    // An icon is one picture in several sizes: the largest shows it best.
    auto largest = std::max_element(frames.begin(), frames.end(), [](const QImage& a, const QImage& b) {
      return static_cast<qint64>(a.width()) * a.height() < static_cast<qint64>(b.width()) * b.height();
    });
    QImage keep = *largest;
    frames.assign(1, keep);
  }
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const QImage& frame = frames[i];
    const Resolution resolution = frameResolution(bytes, format).value_or(Resolution{});
    addImagePage(document, MakeImageObject(document, frame), frame.width(), frame.height(), resolution, 0);
  }
}

// The drawing component's PDF of a metafile, held in memory: its temporary file goes
// before the document is saved anywhere.
std::shared_ptr<QPDF> importMetafile(const std::string& path, OfficeSuite* drawings) {
  if (drawings == nullptr) cannotOpen(path, "WMF/EMF pictures need the office suite, which this viewer was not given");
  TemporaryDirectory folder("vellumdock-picture");
  if (!folder.ok()) cannotOpen(path, "no temporary folder could be made for it");
  const std::string drawn = folder.path() + "/picture.pdf";
  try {
    drawings->print(office::kDrawing, path, drawn, {});
  } catch (const std::exception& error) {
    std::string reason = error.what();
    while (!reason.empty() && reason.back() == '.') reason.pop_back();
    cannotOpen(path, reason);
  }
  std::string bytes;
  try {
    bytes = fileSystem().readFile(drawn);
  } catch (const FileError& error) {
    cannotOpen(path, "the office suite's drawing of it cannot be read: " + error.reason());
  }
  auto buffer = new Buffer(bytes.size());
  std::copy(bytes.begin(), bytes.end(), buffer->getBuffer());
  auto document = std::make_shared<QPDF>();
  try {
    document->processInputSource(std::make_shared<BufferInputSource>(path, buffer, true));
    if (QPDFPageDocumentHelper(*document).getAllPages().empty()) cannotOpen(path, "the office suite drew no page of it");
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& error) {
    cannotOpen(path, std::string("the office suite's drawing of it is damaged: ") + error.what());
  }
  return document;
}

}  // namespace

std::shared_ptr<QPDF> ImportImage(const std::string& path, OfficeSuite* drawings) {
  const std::string extension = toLowerAscii(extensionOf(path));
  const std::optional<std::uint64_t> length = fileSystem().fileLength(path);
  if (!length) cannotOpen(path, "the file cannot be read");
  if (*length == 0) cannotOpen(path, "the file is empty");
  if (*length > kLargestImageFile) cannotOpen(path, "the file is larger than 1 GiB");
  std::string bytes;
  try {
    bytes = fileSystem().readFile(path);
  } catch (const FileError& error) {
    cannotOpen(path, error.reason());
  }
  if (extension == "wmf" || extension == "emf" || LooksLikeMetafile(bytes)) return importMetafile(path, drawings);
  auto document = std::make_shared<QPDF>();
  document->emptyPDF();
  try {
    std::optional<QImage> gif;
    if (LooksLikeJpeg(bytes)) {
      importJpeg(*document, path, bytes);
    } else if (LooksLikeGif(bytes) && (gif = ReadSingleGifPicture(bytes))) {
      addImagePage(*document, MakeImageObject(*document, *gif), gif->width(), gif->height(), Resolution{}, 0);
    } else if (!LooksLikePng(bytes) || !importPngAsItIs(*document, path, bytes)) {
      importDecoded(*document, path, bytes);
    }
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& error) {
    cannotOpen(path, error.what());
  }
  return document;
}

}  // namespace vd
