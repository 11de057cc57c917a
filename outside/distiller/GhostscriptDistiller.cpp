#include "outside/distiller/GhostscriptDistiller.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/Paths.h"
#include "common/ReplacementFile.h"
#include "outside/acrobat/PdfWholeness.h"
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

std::string GhostscriptDistiller::LogPathFor(const std::string& pdfPath) { return withoutExtension(pdfPath) + ".log"; }

std::string GhostscriptDistiller::FailureInLog(const std::string& logText) {
  std::istringstream lines(logText);
  std::string lastMessage;
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.rfind("Error: ", 0) == 0) return line;
    // The closing line names the input, which the caller knows; the interpreter's own
    // closing line, and the stacks it prints, say nothing of the cause.
    if (line.empty() || line.rfind("%%[", 0) == 0 || line.front() == ' ' || line.find(": Unrecoverable error") != std::string::npos ||
        line.back() == ':') {
      continue;
    }
    lastMessage = line;
  }
  return lastMessage;
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
  bool ok = false;
  // Say why in the job's log and to the events.
  auto fail = [&](const std::string& why) {
    result.messages += why + "\n";
    progress.onMessage(why);
    ok = false;
  };
  try {
    // With security the settings are read before anything runs: a job whose protection
    // cannot be known makes no PDF.
    const bool secured = bApplySecurity && securityCapable_;
    std::optional<DistillerSecurity> security;
    if (secured) security = DistillerSecurity::fromRegistry();
    // Readers of the output folder never see a PDF in the making, and a job cut short
    // leaves nothing under the final name: the PDF is written beside it under a hidden
    // temporary name and takes its name only when it is finished. With security the
    // interpreter's unprotected PDF goes to a second hidden temporary that never takes the
    // output's name: only the encrypted document does.
    ReplacementFile pdf(strOutputPDF);
    std::optional<ReplacementFile> plain;
    if (secured) plain.emplace(strOutputPDF);
    const std::string written = plain ? plain->temporaryPath() : pdf.temporaryPath();
    // A PDF given for PostScript (the office suite prints PDF) is read by the interpreter's
    // older PDF reader: the newer one of this version writes the text of a ligature ("fi",
    // "ff") as one character of another script, so the PDF's text could no longer be found.
    GhostscriptJob job{{"-sDEVICE=pdfwrite", "-dEPSCrop", "-dNEWPDF=false"}, strInputPostScript, written, {}};
    std::string why;
    if (!strJobOptions.empty() && !readJobOptions(strJobOptions, job.prolog, why)) {
      fail(why);
    } else {
      result = RunGhostscriptJob(job, &progress);
      ok = result.ok && nonEmptyFile(written);
      // The interpreter does not always notice a write that failed (a full disk): what it
      // left must read as a whole PDF before it takes the output's name.
      if (ok) {
        if (const std::optional<std::string> damage = WhyPdfIsNotWhole(written)) {
          fail("The PDF file written is not complete: " + *damage);
        }
      }
    }
    if (ok && secured) ApplyDistillerSecurity(written, pdf.temporaryPath(), *security);
    if (ok) pdf.commit();
  } catch (const std::exception& error) {
    fail(error.what());
  }

  if (!ok) {
    // What an earlier run left under the name is not this job's PDF.
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
