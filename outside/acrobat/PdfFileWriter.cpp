#include "outside/acrobat/PdfFileWriter.h"

#include <optional>
#include <string_view>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "common/Errors.h"
#include "common/ReplacementFile.h"

namespace vd {
namespace {

// qpdf's own file output does not report a failure of its last flush or of closing the
// file, so on a full disk a PDF cut short would pass for written. Everything goes through
// the replacement file instead, whose every write, flush and close is checked; qpdf's many
// small writes are gathered first. qpdf finishes its pipelines from destructors, so a
// failure is kept here, ends all further writing, and is raised once qpdf is done.
class ReplacementPipeline : public Pipeline {
 public:
  explicit ReplacementPipeline(ReplacementFile& file) : Pipeline("replacement file", nullptr), file_(file) {
    buffer_.reserve(kBufferSize);
  }
  void write(unsigned char const* data, size_t length) override {
    if (buffer_.size() + length > kBufferSize) flush();
    if (length >= kBufferSize) {
      pass(std::string_view(reinterpret_cast<const char*>(data), length));
    } else {
      buffer_.append(reinterpret_cast<const char*>(data), length);
    }
  }
  void finish() override { flush(); }
  // Why a write failed, or nothing.
  const std::optional<std::string>& failure() const { return failure_; }

 private:
  static constexpr std::size_t kBufferSize = 1 << 16;
  void flush() {
    pass(buffer_);
    buffer_.clear();
  }
  void pass(std::string_view bytes) {
    if (failure_) return;
    try {
      file_.write(bytes);
    } catch (const FileError& error) {
      failure_ = error.reason();
    }
  }
  ReplacementFile& file_;
  std::string buffer_;
  std::optional<std::string> failure_;
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
  // Written beside the target and renamed over it: an existing PDF stays whole until the
  // new one is complete, and the rename stays on one file system.
  std::optional<ReplacementFile> temporary;
  try {
    temporary.emplace(path);
  } catch (const FileError& error) {
    throw FileError("save", path, error.reason());
  }
  try {
    ReplacementPipeline output(*temporary);
    QPDFWriter writer(document);
    writer.setOutputPipeline(&output);
    // Streams are written as they are: an embedded JPEG stays byte for byte what it was,
    // and no time goes into decoding what need not change.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(true);
    // A document without pages cannot be linearized; it is written plain.
    if ((saveFlags & kSaveLinearized) != 0 && !document.getAllPages().empty()) writer.setLinearization(true);
    if (configure) configure(writer);
    writer.write();
    if (output.failure()) throw FileError("save", path, *output.failure());
  } catch (const FileError&) {
    throw;
  } catch (const std::exception& error) {
    throw FileError("save", path, error.what());
  }
  try {
    // The written file keeps the permissions a newly created file would get.
    temporary->commit();
  } catch (const FileError& error) {
    throw FileError("save", path, error.reason());
  }
}

}  // namespace vd
