#include "outside/ghostscript/GhostscriptRunner.h"

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "common/Locations.h"
#include "common/Paths.h"
#include "common/PrivateDirectories.h"
#include "outside/ghostscript/InterpreterReports.h"

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

// The interpreter refuses some input names under -dSAFER (a "|" after a "/", for one), so
// it reads every input through a link of a plain name in a private directory.
class InputLink {
 public:
  explicit InputLink(const std::string& target) {
    static unsigned counter = 0;
    try {
      const std::string dir = userRuntimeDir() + "/interpreter-input";
      if (!makePrivateDirectory(dir)) return;
      // Links of a program killed mid-job would stay for good.
      static const bool sweptOnce = [&dir] {
        RemoveLeftoversOfEndedProcesses(dir, "job-");
        return true;
      }();
      (void)sweptOnce;
      const std::string candidate =
          dir + "/job-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + plainExtensionOf(target);
      unlink(candidate.c_str());
      if (symlink(target.c_str(), candidate.c_str()) == 0) path_ = candidate;
    } catch (const std::exception&) {
      // No private directory to link from: the interpreter reads the input by its own name.
    }
  }
  ~InputLink() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  InputLink(const InputLink&) = delete;
  InputLink& operator=(const InputLink&) = delete;
  // The link, or "" when none could be made.
  const std::string& path() const { return path_; }

 private:
  // The input's extension with its dot, letters and digits only; "" when none are left.
  static std::string plainExtensionOf(const std::string& path) {
    std::string extension = ".";
    for (char c : extensionOf(path)) {
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) extension += c;
    }
    return extension.size() > 1 ? extension : std::string();
  }
  std::string path_;
};

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
  const InputLink link(input);
  const std::string output = absolute(job.outputFile);
  std::vector<std::string> texts{link.path().empty() ? input : link.path(), output, job.prolog};
  texts.insert(texts.end(), job.deviceArguments.begin(), job.deviceArguments.end());
  GhostscriptResult result;
  ProgressListener listener(result, progress);
  const JobOutcome outcome = ghostscriptWorker().run(texts, &listener);
  result.ok = outcome.succeeded();
  if (!outcome.failure.empty()) listener.onLine(outcome.failure);
  if (result.ok && result.pages == 0) {
    result.ok = false;
    listener.onLine("The job produced no page.");
  }
  if (result.ok && progress != nullptr) progress->onPercent(100);
  if (!result.ok) std::remove(output.c_str());
  return result;
}

}  // namespace vd
