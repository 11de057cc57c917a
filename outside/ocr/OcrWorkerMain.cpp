// vellumdk-ocrworker: the text recogniser's job handler on the worker machinery
// (outside/worker/WorkerMain.h), Tesseract through its C++ library. Started, bounded and
// ended by the recogniser's client (TextRecognition.h); never started by hand. Jobs and
// answers are described in RecognitionReports.h.
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "outside/ocr/RecognitionReports.h"
#include "outside/worker/WorkerMain.h"

namespace {

using vd::worker::JobReporter;

// Pictures beyond this many pixels are scaled down first: an A2 page at 300 dpi still
// fits, and a poster-sized picture does not take the worker's memory and time bounds
// for characters far larger than recognition needs.
constexpr double kMostPixels = 40e6;
// The orientation detector looks at character shapes, which are plain enough at this
// resolution; it takes a fraction of the time it needs at full size.
constexpr double kOrientationDpi = 150;
// Below this confidence the detector's answer is a guess: the picture is taken as upright.
constexpr float kOrientationConfidence = 2.0f;

struct PixDeleter {
  void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct TextDeleter {
  void operator()(char* text) const { delete[] text; }
};
using TesseractText = std::unique_ptr<char, TextDeleter>;

// A word as one token of the answer: no spaces, no control characters.
std::string plainWord(const char* text) {
  std::string word;
  for (const char* c = text; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) > 0x20 && *c != 0x7F) word += *c;
  }
  return word;
}

// The models, loaded once and kept between jobs: loading them takes longer than a small
// page's recognition.
class Models {
 public:
  // The recogniser for these languages, loaded when another set was asked for last.
  tesseract::TessBaseAPI* text(const std::string& languages, std::string& why) {
    if (text_ && languages_ == languages) return text_.get();
    text_.reset();
    languages_.clear();
    if (!vd::ocrworker::IsLanguageList(languages)) {
      why = "'" + languages + "' is not a list of language names such as eng or eng+deu.";
      return nullptr;
    }
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    if (api->Init(nullptr, languages.c_str(), tesseract::OEM_DEFAULT) != 0) {
      why = "The language data for " + languages + " is not installed (tesseract-ocr-<language> packages).";
      return nullptr;
    }
    api->SetPageSegMode(tesseract::PSM_AUTO);
    text_ = std::move(api);
    languages_ = languages;
    return text_.get();
  }

  // The orientation detector; nothing when its data is not installed (pages are then
  // taken as they are).
  tesseract::TessBaseAPI* orientation() {
    if (!orientationTried_) {
      orientationTried_ = true;
      auto api = std::make_unique<tesseract::TessBaseAPI>();
      if (api->Init(nullptr, "osd", tesseract::OEM_TESSERACT_ONLY) == 0) {
        api->SetPageSegMode(tesseract::PSM_OSD_ONLY);
        orientation_ = std::move(api);
      }
    }
    return orientation_.get();
  }

  void release() {
    text_.reset();
    orientation_.reset();
  }

 private:
  std::unique_ptr<tesseract::TessBaseAPI> text_;
  std::string languages_;
  std::unique_ptr<tesseract::TessBaseAPI> orientation_;
  bool orientationTried_ = false;
};

Models models;

// The picture, read at most at kMostPixels: a large JPEG is decoded at a fraction of its
// size straight away, anything else is read whole and scaled down.
PixPtr readPicture(const std::string& path, std::string& why) {
  l_int32 format = 0, width = 0, height = 0, bits = 0, samples = 0, colourMap = 0;
  if (pixReadHeader(path.c_str(), &format, &width, &height, &bits, &samples, &colourMap) != 0 || width <= 0 ||
      height <= 0) {
    why = "The page's picture cannot be read.";
    return nullptr;
  }
  PixPtr pix;
  const double pixels = static_cast<double>(width) * height;
  if (format == IFF_JFIF_JPEG && pixels > kMostPixels) {
    l_int32 reduction = 2;
    while (reduction < 8 && pixels / (reduction * reduction) > kMostPixels) reduction *= 2;
    pix.reset(pixReadJpeg(path.c_str(), 0, reduction, nullptr, 0));
  } else {
    pix.reset(pixRead(path.c_str()));
  }
  if (!pix) {
    why = "The page's picture cannot be decoded.";
    return nullptr;
  }
  if (pixGetColormap(pix.get()) != nullptr) pix.reset(pixRemoveColormap(pix.get(), REMOVE_CMAP_BASED_ON_SRC));
  if (pix && (pixGetDepth(pix.get()) == 16 || pixGetDepth(pix.get()) == 2 || pixGetDepth(pix.get()) == 4)) {
    pix.reset(pixConvertTo8(pix.get(), 0));
  }
  if (!pix) {
    why = "The page's picture cannot be converted for recognition.";
    return nullptr;
  }
  const double read = static_cast<double>(pixGetWidth(pix.get())) * pixGetHeight(pix.get());
  if (read > kMostPixels) {
    const float factor = static_cast<float>(std::sqrt(kMostPixels / read));
    pix.reset(pixScale(pix.get(), factor, factor));
    if (!pix) {
      why = "The page's picture is too large to be scaled for recognition.";
      return nullptr;
    }
  }
  return pix;
}

// Quarter turns clockwise that make the picture upright; nothing when the detector is
// unsure or missing.
std::optional<int> uprightTurn(Pix* pix, int dpi) {
  tesseract::TessBaseAPI* detector = models.orientation();
  if (detector == nullptr) return std::nullopt;
  PixPtr small;
  Pix* looked = pix;
  int lookedDpi = dpi > 0 ? dpi : 300;
  if (lookedDpi > kOrientationDpi * 1.5) {
    const float factor = static_cast<float>(kOrientationDpi / lookedDpi);
    small.reset(pixScale(pix, factor, factor));
    if (small) {
      looked = small.get();
      lookedDpi = static_cast<int>(kOrientationDpi);
    }
  }
  detector->SetImage(looked);
  detector->SetSourceResolution(lookedDpi);
  int degrees = 0;
  float confidence = 0;
  const char* script = nullptr;
  float scriptConfidence = 0;
  const bool found = detector->DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence);
  detector->Clear();
  if (!found || confidence < kOrientationConfidence) return std::nullopt;
  // The detector says how far the picture is turned clockwise; turning it on by the rest
  // of a full turn makes it upright.
  return ((360 - degrees) / 90) % 4;
}

// The recognised picture's pixels back to the picture file's: undo the turn, then the
// scaling (row-vector convention: x' = a x + c y + e, y' = b x + d y + f).
std::string frameMatrix(int turn, double turnedWidth, double turnedHeight, double scaleX, double scaleY) {
  // Size before the turn.
  const double width = turn % 2 == 0 ? turnedWidth : turnedHeight;
  const double height = turn % 2 == 0 ? turnedHeight : turnedWidth;
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  switch (turn) {
    case 1:  // (u, v) came from (v, height - u)
      a = 0, b = -1, c = 1, d = 0, e = 0, f = height;
      break;
    case 2:
      a = -1, b = 0, c = 0, d = -1, e = width, f = height;
      break;
    case 3:  // (u, v) came from (width - v, u)
      a = 0, b = 1, c = -1, d = 0, e = width, f = 0;
      break;
    default:
      break;
  }
  std::ostringstream text;
  text.precision(10);
  text << "frame " << a / scaleX << ' ' << b / scaleY << ' ' << c / scaleX << ' ' << d / scaleY << ' ' << e / scaleX
       << ' ' << f / scaleY << '\n';
  return text.str();
}

// The lines and words of a recognised picture, in reading order.
std::string describeText(tesseract::TessBaseAPI& api) {
  std::ostringstream text;
  std::unique_ptr<tesseract::ResultIterator> words(api.GetIterator());
  if (!words || words->Empty(tesseract::RIL_WORD)) return "";
  do {
    if (words->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
      int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
      if (!words->BoundingBox(tesseract::RIL_TEXTLINE, &x0, &y0, &x1, &y1)) continue;
      int bx0 = x0, by0 = y1, bx1 = x1, by1 = y1;
      words->Baseline(tesseract::RIL_TEXTLINE, &bx0, &by0, &bx1, &by1);
      // The base line as heights at the line's two ends.
      const double slope = bx1 != bx0 ? static_cast<double>(by1 - by0) / (bx1 - bx0) : 0;
      const double left = by0 + slope * (x0 - bx0);
      const double right = by0 + slope * (x1 - bx0);
      text << "line " << x0 << ' ' << y0 << ' ' << x1 << ' ' << y1 << ' ' << left << ' ' << right << '\n';
    }
    const TesseractText recognised(words->GetUTF8Text(tesseract::RIL_WORD));
    if (!recognised) continue;
    const std::string word = plainWord(recognised.get());
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (word.empty() || !words->BoundingBox(tesseract::RIL_WORD, &x0, &y0, &x1, &y1)) continue;
    text << "word " << x0 << ' ' << y0 << ' ' << x1 << ' ' << y1 << ' ' << word << '\n';
  } while (words->Next(tesseract::RIL_WORD));
  return text.str();
}

// A job is [picture, languages, dpi, seconds].
int recognise(const std::vector<std::string>& job, JobReporter& reporter) {
  if (job.size() != 4) throw std::invalid_argument("A recognition job is four texts.");
  const std::string& path = job[0];
  const int dpi = std::clamp(std::atoi(job[2].c_str()), 0, 4800);
  const double seconds = std::atof(job[3].c_str());

  std::string why;
  tesseract::TessBaseAPI* api = models.text(job[1], why);
  if (api == nullptr) {
    reporter.line(why);
    return 2;
  }
  PixPtr picture = readPicture(path, why);
  if (!picture) {
    reporter.line(why);
    return 3;
  }
  l_int32 fileWidth = 0, fileHeight = 0;
  pixReadHeader(path.c_str(), nullptr, &fileWidth, &fileHeight, nullptr, nullptr, nullptr);
  const double scaleX = static_cast<double>(pixGetWidth(picture.get())) / fileWidth;
  const double scaleY = static_cast<double>(pixGetHeight(picture.get())) / fileHeight;
  const int readDpi = static_cast<int>(std::lround(dpi * scaleX));

  const std::optional<int> detected = uprightTurn(picture.get(), readDpi);
  const int turn = detected.value_or(0);
  if (turn != 0) picture.reset(pixRotateOrth(picture.get(), turn));
  if (!picture) {
    reporter.line("The page's picture cannot be turned upright.");
    return 3;
  }

  api->SetImage(picture.get());
  // Tesseract refuses resolutions below 70 dpi as unknown; a scan that does not say its
  // own is most likely made at 300.
  api->SetSourceResolution(readDpi >= 70 ? readDpi : 300);
  tesseract::ETEXT_DESC monitor;
  if (seconds > 0) monitor.set_deadline_msecs(static_cast<int>(std::min(seconds * 1000, 2e9)));
  const int code = api->Recognize(&monitor);
  if (code != 0 || monitor.deadline_exceeded()) {
    api->Clear();
    reporter.line(monitor.deadline_exceeded() ? "Recognition was stopped after " + job[3] + " seconds."
                                              : "Recognition failed.");
    return 4;
  }
  std::string answer = frameMatrix(turn, pixGetWidth(picture.get()), pixGetHeight(picture.get()), scaleX, scaleY);
  if (detected) answer += "turn " + std::to_string(turn) + "\n";
  answer += describeText(*api);
  api->Clear();
  reporter.report(vd::ocrworker::kResultFrame, answer);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A picture is untrusted input read by image decoders: the worker is confined like the
  // interpreters. Its language data lies in the system's trees unless TESSDATA_PREFIX
  // points elsewhere.
  vd::worker::ConfinementRules rules;
  if (const char* data = std::getenv("TESSDATA_PREFIX"); data != nullptr && data[0] == '/') rules.readable = {data};
  // Tesseract's notes go nowhere: the job's log lines say what matters.
  const int code = vd::worker::serveConfinedJobs(argc, argv, rules, recognise, [] { models.orientation(); });
  models.release();
  return code;
}
