#include "outside/acrobat/PdfWholeness.h"

#include <sys/stat.h>
#include <time.h>

#include <deque>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

namespace vd {
namespace {

// A writer stopped early leaves no closing "%%EOF"; qpdf finds the cross-reference table
// without it, so the end is looked at first. A file that cannot be read is left to qpdf,
// which says why.
bool endsLikeAPdf(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return true;
  const std::streamoff length = static_cast<std::streamoff>(file.tellg());
  const std::streamoff tail = length < 1024 ? length : 1024;
  file.seekg(length - tail);
  std::string end(static_cast<std::size_t>(tail), '\0');
  file.read(end.data(), tail);
  return file && end.find("%%EOF") != std::string::npos;
}

// A file as it stands: the same file (device and inode, which a rename keeps) with the same
// length and modification time holds the same bytes.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t length = 0;
  std::int64_t modifiedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino, status.st_size,
                      status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec};
}

// The PDFs found whole lately in this process, with their pages. A conversion's PDF is checked
// where it is written (the Distiller, before it takes its name) and again where the outcome is
// decided; the second check finds the first one's verdict here instead of reading the file
// again. Only whole verdicts are kept: a damaged file is looked at every time.
class WholePdfs {
 public:
  std::optional<std::int32_t> pagesOf(const FileIdentity& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [identity, pages] : recent_) {
      if (identity == file) return pages;
    }
    return std::nullopt;
  }

  void remember(const FileIdentity& file, std::int32_t pages) {
    const std::lock_guard<std::mutex> lock(mutex_);
    recent_.emplace_back(file, pages);
    if (recent_.size() > kKept) recent_.pop_front();
  }

  std::deque<std::pair<FileIdentity, std::int32_t>> all() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return recent_;
  }

 private:
  // A conversion's checks follow each other closely; a few are enough.
  static constexpr std::size_t kKept = 16;
  std::mutex mutex_;
  std::deque<std::pair<FileIdentity, std::int32_t>> recent_;
};

// The clock the kernel stamps a file's modification with.
std::int64_t fileClockNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

WholePdfs& wholePdfs() {
  static WholePdfs kept;
  return kept;
}

PdfWholeness readWholeness(const std::string& path) {
  if (!endsLikeAPdf(path)) return {"it does not end with %%EOF: it was cut short", 0};
  try {
    QPDF document;
    document.setSuppressWarnings(true);
    // A file that opens only after repair was cut short or damaged while it was written.
    document.setAttemptRecovery(false);
    document.processFile(path.c_str());
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
    if (pages.empty()) return {"it has no pages", 0};
    for (QPDFPageObjectHelper page : pages) {
      Pl_Discard discard;
      page.pipeContents(&discard);
    }
    if (document.anyWarnings()) return {document.getWarnings().front().what(), 0};
    return {std::nullopt, static_cast<std::int32_t>(pages.size())};
  } catch (const QPDFExc& error) {
    // A PDF protected by an open password: its pages can't be read without it, but the
    // password is checked only after the trailer and the cross-reference table at its end
    // were read without repair, so the file was written to its end.
    if (error.getErrorCode() == qpdf_e_password) return {std::nullopt, 0};
    return {std::string(error.what()), 0};
  } catch (const std::exception& error) {
    return {std::string(error.what()), 0};
  }
}

// How a verdict travels between processes: the word, then the file's identity and its pages.
constexpr const char* kVerdictWord = "vellumdock-whole-pdf";

}  // namespace

std::string WholenessVerdictLines() {
  std::ostringstream lines;
  for (const auto& [file, pages] : wholePdfs().all()) {
    lines << kVerdictWord << ' ' << file.device << ' ' << file.inode << ' ' << file.length << ' '
          << file.modifiedNanoseconds << ' ' << pages << '\n';
  }
  return lines.str();
}

void TakeWholenessVerdicts(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string word;
    FileIdentity file;
    std::int32_t pages = 0;
    if (fields >> word >> file.device >> file.inode >> file.length >> file.modifiedNanoseconds >> pages &&
        word == kVerdictWord && pages >= 0) {
      wholePdfs().remember(file, pages);
    }
  }
}

std::optional<std::string> WhyPdfIsNotWhole(const std::string& path) { return CheckPdfWholeness(path).damage; }

PdfWholeness CheckPdfWholeness(const std::string& path) {
  const std::optional<FileIdentity> before = identityOf(path);
  if (before) {
    if (const std::optional<std::int32_t> pages = wholePdfs().pagesOf(*before)) return {std::nullopt, *pages};
  }
  PdfWholeness wholeness = readWholeness(path);
  // Kept only when nothing wrote the file while it was read, and when a later write would
  // change its time: the file's time is a tick of a coarse clock, which a write within the
  // same tick would leave as it was.
  if (!wholeness.damage && before && identityOf(path) == before &&
      before->modifiedNanoseconds < fileClockNanoseconds()) {
    wholePdfs().remember(*before, wholeness.pages);
  }
  return wholeness;
}

}  // namespace vd
