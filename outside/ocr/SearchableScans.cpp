#include "outside/ocr/SearchableScans.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <exception>
#include <future>
#include <optional>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "common/Environment.h"
#include "common/PrivateDirectories.h"
#include "outside/acrobat/PdfFileWriter.h"
#include "outside/ocr/InvisibleText.h"
#include "outside/ocr/InvisibleTextFont.h"
#include "outside/ocr/RecognitionPictures.h"
#include "outside/ocr/ScannedPages.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"

namespace vd {
namespace {

// The bound of one document's conversion, which its recognition as a whole keeps to.
double documentSeconds() { return positiveEnvironmentNumber("VELLUMDOCK_JOB_TIMEOUT", 600); }

// The picture's resolution from its size on the page.
double dotsPerInch(const QPDFMatrix& pictureToPage) {
  const double pixel = std::hypot(pictureToPage.a, pictureToPage.b);
  return pixel > 0 ? 72.0 / pixel : 0;
}

// The /Rotate that shows the recognised picture's text upright.
int uprightRotation(const QPDFMatrix& pixelsToPage) {
  // Where the text's up (y upwards, against the pixels' rows) points on the page,
  // clockwise from the page's up.
  const double x = -pixelsToPage.c;
  const double y = -pixelsToPage.d;
  const long quarters = std::lround(std::atan2(x, y) / (M_PI / 2));
  return static_cast<int>(((4 - quarters % 4) % 4) * 90);
}

// A page handed to a worker, with what its text layer needs once the answer is there.
struct PageInFlight {
  std::size_t index = 0;
  std::size_t worker = 0;
  ScannedPicture picture;
  std::string file;
  std::future<RecognitionOutcome> outcome;
};

class ScanPass {
 public:
  ScanPass(QPDF& document, const TextRecognition& recognition, std::string name)
      : document_(document), recognition_(recognition), name_(std::move(name)) {}

  int run() {
    const double deadline = clock().seconds() + documentSeconds();
    const double pageSeconds = PageRecognitionSeconds();
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document_).getAllPages();
    std::vector<std::pair<std::size_t, ScannedPicture>> scans;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      if (std::optional<ScannedPicture> picture = FindScannedPicture(pages[i])) scans.emplace_back(i, *picture);
    }
    if (scans.empty()) return 0;
    // Pages go to the workers in page order and their answers are taken in that order, so
    // the notes come in page order whichever page a worker finishes first.
    const std::size_t workers = std::min(RecognitionWorkerCount(), scans.size());
    std::deque<PageInFlight> inFlight;
    std::vector<std::size_t> cutOff;
    std::size_t next = 0;
    while (next < scans.size() || !inFlight.empty()) {
      while (next < scans.size() && inFlight.size() < workers) {
        const auto& [index, picture] = scans[next++];
        const double left = deadline - clock().seconds();
        if (left <= 0) {
          cutOff.push_back(index);
          continue;
        }
        std::size_t worker = 0;
        while (std::any_of(inFlight.begin(), inFlight.end(), [&](const PageInFlight& page) { return page.worker == worker; })) {
          ++worker;
        }
        if (std::optional<PageInFlight> page = start(index, picture, std::min(pageSeconds, left), worker)) {
          inFlight.push_back(std::move(*page));
        }
      }
      if (inFlight.empty()) continue;
      PageInFlight page = std::move(inFlight.front());
      inFlight.pop_front();
      finish(pages[page.index], page);
    }
    if (!cutOff.empty()) {
      const std::string first = std::to_string(cutOff.front() + 1);
      const std::string which =
          cutOff.size() == 1 ? "Page " + first : std::to_string(cutOff.size()) + " pages from page " + first + " on";
      note(which + " of " + name_ + " kept no text: recognising the document passed its bound of " +
           std::to_string(std::lround(documentSeconds())) + " seconds.");
    }
    return withText_;
  }

 private:
  // Writes the page's picture and hands it to a worker; nothing (with a note) when the
  // picture cannot be written.
  std::optional<PageInFlight> start(std::size_t index, const ScannedPicture& picture, double seconds,
                                    std::size_t worker) {
    if (!folder_) {
      folder_.emplace("vellumdock-ocr");
      if (!folder_->ok()) {
        keptNoText(index, "no temporary folder could be made for its picture.");
        return std::nullopt;
      }
    }
    PageInFlight page;
    page.index = index;
    page.worker = worker;
    page.picture = picture;
    std::string why;
    page.file = WritePictureForRecognition(picture.image, folder_->path() + "/page-" + std::to_string(index + 1), why);
    if (page.file.empty()) {
      keptNoText(index, why);
      return std::nullopt;
    }
    const double dpi = dotsPerInch(picture.pictureToPage);
    page.outcome = std::async(std::launch::async, [file = page.file, languages = recognition_.languages, dpi,
                                                   seconds, &client = textRecognitionWorker(worker)] {
      return RecognizePicture(client, file, languages, dpi, seconds);
    });
    return page;
  }

  // Waits for the page's answer, the caller's events still served, and gives the page
  // its text.
  void finish(QPDFPageObjectHelper& page, PageInFlight& work) {
    while (work.outcome.wait_for(std::chrono::milliseconds(kWaitSliceMilliseconds)) != std::future_status::ready) {
      eventPump().processEvents();
    }
    RecognitionOutcome outcome;
    try {
      outcome = work.outcome.get();
    } catch (const std::exception& error) {
      outcome.failure = error.what();
    }
    std::remove(work.file.c_str());
    if (!outcome.page) return keptNoText(work.index, outcome.failure);
    if (!font_) font_ = MakeInvisibleTextFont(document_);
    if (AddInvisibleText(page, *outcome.page, work.picture.pictureToPage, *font_, work.picture.restoreState,
                         work.picture.openStates) == 0) {
      return;
    }
    ++withText_;
    if (recognition_.turnUpright && outcome.page->turn) {
      QPDFMatrix pixelsToPage = work.picture.pictureToPage;
      pixelsToPage.concat(outcome.page->toPicture);
      const int rotation = uprightRotation(pixelsToPage);
      QPDFObjectHandle current = page.getAttribute("/Rotate", false);
      if (!current.isInteger() || current.getIntValueAsInt() % 360 != rotation) {
        page.getObjectHandle().replaceKey("/Rotate", QPDFObjectHandle::newInteger(rotation));
      }
    }
  }

  void keptNoText(std::size_t index, const std::string& why) {
    note("Page " + std::to_string(index + 1) + " of " + name_ + " kept no text: " + why);
  }

  void note(const std::string& line) const {
    if (recognition_.note) recognition_.note(line);
  }

  static constexpr int kWaitSliceMilliseconds = 50;

  QPDF& document_;
  const TextRecognition& recognition_;
  std::string name_;
  std::optional<TemporaryDirectory> folder_;
  std::optional<QPDFObjectHandle> font_;
  int withText_ = 0;
};

}  // namespace

int AddTextToScannedPages(QPDF& document, const TextRecognition& recognition, const std::string& documentName) {
  if (!recognition.enabled()) return 0;
  return ScanPass(document, recognition, documentName).run();
}

bool WriteWithTextOnScannedPages(const std::string& from, const std::string& to, const TextRecognition& recognition) {
  if (!recognition.enabled()) return false;
  QPDF document;
  try {
    document.setSuppressWarnings(true);
    document.processFile(from.c_str());
    // Its owner's restrictions are not for this program to lift.
    if (document.isEncrypted()) return false;
  } catch (const std::exception&) {
    // A PDF that cannot be read goes on as it is; joining it says what is wrong with it.
    return false;
  }
  if (AddTextToScannedPages(document, recognition, from) == 0) return false;
  WritePdfFile(document, 0, to);
  return true;
}

}  // namespace vd
