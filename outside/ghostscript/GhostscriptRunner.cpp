#include "outside/ghostscript/GhostscriptRunner.h"

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "common/Errors.h"
#include "common/Paths.h"
#include "outside/ghostscript/InterpreterReports.h"
#include "outside/worker/JobFolder.h"

namespace vd {
namespace {

// The interpreter treats a leading "-" as a switch and a leading "|" in an output name as a
// pipe; an absolute name can be neither.
std::string absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return "./" + path;
  return std::string(buffer) + "/" + path;
}

// The input's extension with its dot, letters and digits only; "" when none are left.
std::string plainExtensionOf(const std::string& path) {
  std::string extension = ".";
  for (char c : extensionOf(path)) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) extension += c;
  }
  return extension.size() > 1 ? extension : std::string();
}

int parseNumber(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int>(value);
}

// The job's lines and reports, as the interpreter's progress and messages.
class ProgressListener : public JobListener {
 public:
  ProgressListener(GhostscriptResult& result, GhostscriptProgress* progress) : result_(result), progress_(progress) {}
  void onLine(const std::string& line) override {
    result_.messages += line + "\n";
    if (progress_ != nullptr) progress_->onMessage(line);
  }
  void onReport(char type, const std::string& payload) override {
    if (type == gsworker::kPageFrame) ++result_.pages;
    if (progress_ == nullptr) return;
    if (type == gsworker::kPageFrame) progress_->onPage(parseNumber(payload));
    if (type == gsworker::kPercentFrame) progress_->onPercent(parseNumber(payload));
  }

 private:
  GhostscriptResult& result_;
  GhostscriptProgress* progress_;
};

}  // namespace

std::string GhostscriptWorkerPath() { return ghostscriptWorker().programPath(); }

WorkerClient& ghostscriptWorker() {
  // A fresh interpreter now and then keeps whatever the library leaks from growing.
  static WorkerClient worker(WorkerKind{"vellumdk-gsworker", "The PostScript interpreter", WorkerLimits{600, 2048, 1000}});
  return worker;
}

GhostscriptResult RunGhostscriptJob(const GhostscriptJob& job, GhostscriptProgress* progress) {
  const std::string input = absolute(job.inputFile);
  const std::string output = absolute(job.outputFile);
  GhostscriptResult result;
  ProgressListener listener(result, progress);
  try {
    // The interpreter reads a copy of the input, under a plain name (it refuses some names
    // under -dSAFER, a "|" after a "/" for one), and writes in its own folder: where it is
    // confined it reaches nothing else.
    JobFolder files(ghostscriptWorker());
    const std::string outputName = "output" + plainExtensionOf(output);
    std::vector<std::string> texts{files.placeInput(input, "input" + plainExtensionOf(input)),
                                   files.outputPath(outputName), job.prolog};
    texts.insert(texts.end(), job.deviceArguments.begin(), job.deviceArguments.end());
    const JobOutcome outcome = ghostscriptWorker().run(texts, &listener);
    result.ok = outcome.succeeded();
    if (!outcome.failure.empty()) listener.onLine(outcome.failure);
    if (result.ok && result.pages == 0) {
      result.ok = false;
      listener.onLine("The job produced no page.");
    }
    if (result.ok && !files.takeOutput(outputName, output)) {
      result.ok = false;
      listener.onLine("The interpreter wrote no output file.");
    }
  } catch (const FileError& error) {
    result.ok = false;
    listener.onLine(std::string(error.what()) + ".");
  }
  if (result.ok && progress != nullptr) progress->onPercent(100);
  if (!result.ok) std::remove(output.c_str());
  return result;
}

}  // namespace vd
