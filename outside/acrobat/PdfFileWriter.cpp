#include "outside/acrobat/PdfFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "common/Errors.h"

namespace vd {
namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside the target, so the final rename stays on one file system.
class TemporarySibling {
 public:
  explicit TemporarySibling(const std::string& target) {
    std::string pattern = folderOf(target) + "/.vellumdock-save-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) throw FileError("save", target, std::strerror(errno));
    close(descriptor);
    path_ = pattern;
  }
  ~TemporarySibling() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TemporarySibling(const TemporarySibling&) = delete;
  TemporarySibling& operator=(const TemporarySibling&) = delete;

  const std::string& path() const { return path_; }
  void renameTo(const std::string& target) {
    if (std::rename(path_.c_str(), target.c_str()) != 0) throw FileError("save", target, std::strerror(errno));
    path_.clear();
  }

 private:
  std::string path_;
};

}  // namespace

void WritePdfFile(QPDF& document, std::int16_t saveFlags, const std::string& path,
                  const std::function<void(QPDFWriter&)>& configure) {
  if (path.empty()) throw FileError("save", path, "no file name");
  if ((saveFlags & kSaveCollectGarbage) != 0) {
    // Objects nothing refers to are never written; what is left to collect are resources
    // a page carries without using them (common after pages were taken from a larger file).
    QPDFPageDocumentHelper(document).removeUnreferencedResources();
  }
  TemporarySibling temporary(path);
  try {
    QPDFWriter writer(document, temporary.path().c_str());
    // Streams are written as they are: an embedded JPEG stays byte for byte what it was,
    // and no time goes into decoding what need not change.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(true);
    // A document without pages cannot be linearized; it is written plain.
    if ((saveFlags & kSaveLinearized) != 0 && !document.getAllPages().empty()) writer.setLinearization(true);
    if (configure) configure(writer);
    writer.write();
  } catch (const std::exception& error) {
    throw FileError("save", path, error.what());
  }
  // The written file keeps the permissions a newly created file would get.
  const mode_t mask = umask(0);
  umask(mask);
  chmod(temporary.path().c_str(), 0666 & ~mask);
  temporary.renameTo(path);
}

}  // namespace vd
