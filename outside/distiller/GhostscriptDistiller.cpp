#include "outside/distiller/GhostscriptDistiller.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/ReplacementFile.h"
#include "outside/distiller/DistillerSecurity.h"
#include "outside/ghostscript/GhostscriptRunner.h"

namespace vd {
namespace {

// Hands the interpreter's progress to the connected events, if any.
class ProgressToEvents : public GhostscriptProgress {
 public:
  explicit ProgressToEvents(DistillerEvents* sink) : sink_(sink) {}
  void onMessage(const std::string& line) override {
    if (sink_ == nullptr) return;
    std::string message = line;
    sink_->OnLogMessage(message);
  }
  void onPage(std::int32_t page) override {
    if (sink_ == nullptr) return;
    sink_->OnPageNumber(page);
  }
  void onPercent(std::int32_t percent) override {
    // Reported once per value and only upwards.
    if (sink_ == nullptr || percent <= lastPercent_) return;
    lastPercent_ = percent;
    sink_->OnPercentDone(percent);
  }

 private:
  DistillerEvents* sink_;
  std::int32_t lastPercent_ = -1;
};

bool nonEmptyFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool readJobOptions(const std::string& path, std::string& text, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "Cannot read the job options file " + path + ".";
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

// The log keeps the program's line ends (CR LF), whatever the interpreter printed.
std::string withCrLf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

void GhostscriptDistiller::Connect(DistillerEvents* sink) { sink_ = securityCapable_ ? nullptr : sink; }

std::string GhostscriptDistiller::LogPathFor(const std::string& pdfPath) {
  const auto slash = pdfPath.find_last_of('/');
  const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = pdfPath.find_last_of('.');
  const auto nameEnd = (dot == std::string::npos || dot < nameStart) ? pdfPath.size() : dot;
  return pdfPath.substr(0, nameEnd) + ".log";
}

std::int32_t GhostscriptDistiller::FileToPDF(const std::string& strInputPostScript, const std::string& strOutputPDF,
                                             const std::string& strJobOptions) {
  return FileToPDF2(strInputPostScript, strOutputPDF, strJobOptions, false);
}

std::int32_t GhostscriptDistiller::FileToPDF2(const std::string& strInputPostScript, const std::string& strOutputPDF,
                                              const std::string& strJobOptions, bool bApplySecurity) {
  std::string input = strInputPostScript;
  std::string output = strOutputPDF;
  if (sink_ != nullptr) sink_->OnJobStart(input, output);

  ProgressToEvents progress(sink_);
  GhostscriptResult result;
  auto failWith = [&](const std::string& why) {
    result.messages += why + "\n";
    progress.onMessage(why);
  };
  // With security the settings are read before anything runs (a job whose protection
  // cannot be known makes no PDF). The interpreter's unprotected PDF goes to a hidden file
  // of mode 0600 beside the output that is never committed: only the encrypted document
  // ever takes the output's name.
  const bool secured = bApplySecurity && securityCapable_;
  std::optional<DistillerSecurity> security;
  std::optional<ReplacementFile> intermediate;
  bool ready = true;
  if (secured) {
    try {
      security = DistillerSecurity::fromRegistry();
      intermediate.emplace(strOutputPDF);
    } catch (const std::exception& error) {
      failWith(error.what());
      ready = false;
    }
  }
  const std::string written = intermediate ? intermediate->temporaryPath() : strOutputPDF;
  GhostscriptJob job{{"-sDEVICE=pdfwrite", "-dEPSCrop"}, strInputPostScript, written, {}};
  std::string why;
  if (!ready) {
    // Reported above.
  } else if (!strJobOptions.empty() && !readJobOptions(strJobOptions, job.prolog, why)) {
    failWith(why);
  } else {
    result = RunGhostscriptJob(job, &progress);
  }
  bool ok = result.ok && nonEmptyFile(written);
  if (ok && secured) {
    try {
      ApplyDistillerSecurity(written, strOutputPDF, *security);
    } catch (const std::exception& error) {
      result.messages += std::string(error.what()) + "\n";
      progress.onMessage(error.what());
      ok = false;
    }
  }

  if (!ok) {
    // The interpreter may have left a blank or partial PDF behind; only a good one stays.
    std::remove(strOutputPDF.c_str());
    std::ofstream log(LogPathFor(strOutputPDF), std::ios::binary | std::ios::trunc);
    log << withCrLf(result.messages + "%%[ The job failed: " + strInputPostScript + ". No PDF file was produced. ]%%\n");
    if (sink_ != nullptr) sink_->OnJobFail(input, output);
    return 0;
  }
  if (sink_ != nullptr) sink_->OnJobDone(input, output);
  return 1;
}

}  // namespace vd
