#include "outside/acrobat/PdfFileWriter.h"

#include <optional>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "common/Errors.h"
#include "common/ReplacementFile.h"

namespace vd {

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
    QPDFWriter writer(document, temporary->temporaryPath().c_str());
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
  try {
    // The written file keeps the permissions a newly created file would get.
    temporary->commit();
  } catch (const FileError& error) {
    throw FileError("save", path, error.reason());
  }
}

}  // namespace vd
