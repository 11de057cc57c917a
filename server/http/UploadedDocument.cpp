#include "server/http/UploadedDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "server/PathNames.h"

namespace vd::http {
namespace {

// Room left under the file-name limit for the names the converters make beside a file.
constexpr std::size_t kLongestSentName = 200;

}  // namespace

std::string SentFileName(const std::string& name) {
  const std::size_t separator = name.find_last_of("/\\");
  return separator == std::string::npos ? name : name.substr(separator + 1);
}

std::optional<std::string> FileNameProblem(const std::string& name) {
  if (name.empty()) return "The document needs a file name: ?name=report.docx, or the file field's name.";
  if (name == "." || name == ".." || name.find('/') != std::string::npos) return "Not a file name: " + name;
  if (name.find('\0') != std::string::npos) return "A file name cannot hold a NUL character.";
  if (name.size() > kLongestSentName) {
    return "The file name is longer than " + std::to_string(kLongestSentName) + " bytes.";
  }
  return std::nullopt;
}

std::optional<std::string> UnsupportedKind(const std::string& ext) {
  if (ext == "scr") return "Script files are run from the input folder only: they name files of this machine.";
  if (ext == "pdf") return "The document is a PDF already.";
  if (ext == "exe") return "Programs are not converted.";
  if (ext == "dwg" || ext == "rpt") return "No program on this machine reads ." + ext + " files.";
  return std::nullopt;
}

UploadedDocument::UploadedDocument() : folder_(std::string(kUploadPrefix) + std::to_string(getpid())) {
  if (folder_.ok()) mkdir((folder_.path() + "/out").c_str(), 0700);
}

UploadedDocument::~UploadedDocument() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool UploadedDocument::create(const std::string& name) {
  name_ = name;
  descriptor_ = open(inputPath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  return descriptor_ >= 0;
}

bool UploadedDocument::write(const char* bytes, std::size_t count) {
  while (count > 0 && !writeFailed_) {
    const ssize_t written = ::write(descriptor_, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      writeFailed_ = true;
      break;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
    size_ += static_cast<std::uint64_t>(written);
  }
  return !writeFailed_;
}

bool UploadedDocument::close() {
  if (descriptor_ < 0) return false;
  const bool closed = ::close(descriptor_) == 0;
  descriptor_ = -1;
  return closed && !writeFailed_;
}

std::string UploadedDocument::outputPath() const {
  const std::string base = GetBaseName(name_);
  return folder_.path() + "/out/" + (base.empty() ? "document" : base) + ".pdf";
}

}  // namespace vd::http
