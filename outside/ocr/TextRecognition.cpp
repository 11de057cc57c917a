#include "outside/ocr/TextRecognition.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <sstream>

#include "common/Environment.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "outside/ocr/RecognitionReports.h"
#include "outside/worker/JobFolder.h"

namespace vd {
namespace {

constexpr const char* kTitle = "The text recogniser";

// The worker's answer and its log lines.
class AnswerListener : public JobListener {
 public:
  void onLine(const std::string& line) override {
    if (!lines_.empty()) lines_ += " ";
    lines_ += line;
  }
  void onReport(char type, const std::string& payload) override {
    if (type == ocrworker::kResultFrame) answer_ = payload;
  }
  const std::string& lines() const { return lines_; }
  const std::optional<std::string>& answer() const { return answer_; }

 private:
  std::string lines_;
  std::optional<std::string> answer_;
};

std::string decimal(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

bool finite(std::initializer_list<double> values) {
  for (double value : values) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

}  // namespace

double PageRecognitionSeconds() { return textRecognitionWorker().limits().jobSeconds; }

std::size_t RecognitionWorkerCount() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  const int usable = sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 1;
  const double fallback = std::clamp(usable, 1, 4);
  const double wanted = std::ceil(std::min(positiveEnvironmentNumber("VELLUMDOCK_OCR_WORKERS", fallback), 64.0));
  return static_cast<std::size_t>(std::max(1.0, wanted));
}

WorkerClient& textRecognitionWorker(std::size_t index) {
  static std::mutex guard;
  static std::deque<WorkerClient> workers;
  const std::lock_guard<std::mutex> hold(guard);
  while (workers.size() <= index) {
    // A page is seconds of work: its bound is its own, not a document's.
    WorkerLimits limits{120, 2048, 1000};
    limits.timeoutVariable = "VELLUMDOCK_OCR_TIMEOUT";
    // One thread a page: the library's threads wait for each other at every step, which on
    // a machine busy with other work turns seconds into minutes; pages go side by side
    // in workers of their own instead.
    workers.emplace_back(WorkerKind{ocrworker::kProgramName, kTitle, limits, {"OMP_THREAD_LIMIT=1"}});
  }
  return workers[index];
}

std::optional<RecognizedPage> ParseRecognitionAnswer(const std::string& answer) {
  RecognizedPage page;
  bool framed = false;
  std::istringstream lines(answer);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "frame") {
      double a, b, c, d, e, f;
      if (!(fields >> a >> b >> c >> d >> e >> f) || !finite({a, b, c, d, e, f})) return std::nullopt;
      page.toPicture = QPDFMatrix(a, b, c, d, e, f);
      framed = true;
    } else if (kind == "turn") {
      int turn = -1;
      if (!(fields >> turn) || turn < 0 || turn > 3) return std::nullopt;
      page.turn = turn;
    } else if (kind == "line") {
      RecognizedLine text;
      if (!(fields >> text.x0 >> text.y0 >> text.x1 >> text.y1 >> text.baseline0 >> text.baseline1) ||
          !finite({text.x0, text.y0, text.x1, text.y1, text.baseline0, text.baseline1})) {
        return std::nullopt;
      }
      page.lines.push_back(std::move(text));
    } else if (kind == "word") {
      RecognizedWord word;
      if (page.lines.empty() || !(fields >> word.x0 >> word.y0 >> word.x1 >> word.y1 >> word.text) ||
          !finite({word.x0, word.y0, word.x1, word.y1})) {
        return std::nullopt;
      }
      page.lines.back().words.push_back(std::move(word));
    } else if (!kind.empty()) {
      return std::nullopt;
    }
  }
  if (!framed) return std::nullopt;
  return page;
}

RecognitionOutcome RecognizePicture(WorkerClient& worker, const std::string& pictureFile, const std::string& languages,
                                    double dpi, double seconds) {
  RecognitionOutcome outcome;
  AnswerListener listener;
  WorkerLimits limits = worker.limits();
  limits.jobSeconds = seconds;
  // The worker stops recognising a little before its bound, so a slow page ends with the
  // worker kept warm; the bound itself stops whatever cannot be stopped so.
  const double ownStop = std::max(1.0, seconds * 0.9);
  // A confined worker reads nothing but its job's folder: the picture is copied there.
  std::optional<JobFolder> files;
  std::string placed;
  try {
    files.emplace(worker);
    placed = files->placeInput(pictureFile, fileNameOf(pictureFile));
  } catch (const FileError& error) {
    outcome.failure = std::string(kTitle) + " could not be given the page's picture: " + error.reason() + ".";
    return outcome;
  }
  const JobOutcome ran = worker.run(
      {placed, languages, std::to_string(std::lround(std::isfinite(dpi) && dpi > 0 ? dpi : 0)), decimal(ownStop)},
      limits, &listener);
  if (ran.succeeded()) {
    if (listener.answer()) outcome.page = ParseRecognitionAnswer(*listener.answer());
    if (!outcome.page) outcome.failure = std::string(kTitle) + " gave no answer that could be read.";
    return outcome;
  }
  outcome.failure = !ran.failure.empty() ? ran.failure : listener.lines();
  if (!ran.failure.empty() && !listener.lines().empty()) outcome.failure += " " + listener.lines();
  if (outcome.failure.empty()) outcome.failure = std::string(kTitle) + " could not recognise the page.";
  return outcome;
}

}  // namespace vd
