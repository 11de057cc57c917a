// A document sent for conversion over HTTP, on its way through the daemon: written into a
// private folder of its own (never into a watched folder, where the scan loop would take it
// as a dropped file), converted beside itself, and removed with its folder once the answer
// is sent or the conversion it was abandoned to has ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/PrivateDirectories.h"

namespace vd::http {

// The private folders of the uploads: "<temporary folder>/vellumdock-upload-<pid>-XXXXXX".
inline constexpr const char* kUploadPrefix = "vellumdock-upload-";

// Why a sent file name cannot be used (empty, "." or "..", a NUL, too long); nothing when
// it can. A folder part a client left in (C:\scans\a.png, scans/a.png) is dropped first by
// SentFileName.
std::optional<std::string> FileNameProblem(const std::string& name);
std::string SentFileName(const std::string& name);

// Why files of this extension are not converted over HTTP; nothing when they are. A script
// names files of this machine to join, which a client must not reach; PDFs and programs are
// never converted; drawings and reports have no program here that reads them.
std::optional<std::string> UnsupportedKind(const std::string& ext);

class UploadedDocument {
 public:
  // Makes the folder; ok() says whether it could.
  UploadedDocument();
  ~UploadedDocument();
  UploadedDocument(const UploadedDocument&) = delete;
  UploadedDocument& operator=(const UploadedDocument&) = delete;
  bool ok() const { return folder_.ok(); }

  // Starts the input file under the name given (checked with FileNameProblem first).
  bool create(const std::string& name);
  // Appends bytes; false when the file cannot take them (the disk is full).
  bool write(const char* bytes, std::size_t count);
  // Ends the input file; false when it could not be written whole.
  bool close();
  std::uint64_t size() const { return size_; }

  const std::string& name() const { return name_; }
  std::string inputPath() const { return folder_.path() + "/" + name_; }
  // The PDF the conversion writes: the name's base with ".pdf", in a folder of its own.
  std::string outputPath() const;

 private:
  TemporaryDirectory folder_;
  std::string name_;
  int descriptor_ = -1;
  std::uint64_t size_ = 0;
  bool writeFailed_ = false;
};

}  // namespace vd::http
