#include "server/SetAsidePdf.h"

#include <utility>

#include "common/IgnoringErrors.h"
#include "common/Paths.h"
#include "platform/FileSystem.h"
#include "platform/ProcessEnd.h"

namespace vd {

SetAsidePdf::SetAsidePdf(std::string path) : path_(std::move(path)) {
  aside_ = folderOf(path_) + "/." + fileNameOf(path_) + ".replaced";
  fileSystem().copyFile(path_, aside_);
  // From the moment a copy exists, an end of the program puts it back.
  processEnd().keepPendingMove(aside_, path_);
  try {
    // A PDF that cannot be deleted (read-only) is not set aside: the copy goes again.
    fileSystem().deleteFile(path_);
  } catch (...) {
    processEnd().dropPendingMove();
    ignoringErrors([&] { fileSystem().deleteFile(aside_); });
    throw;
  }
}

SetAsidePdf::~SetAsidePdf() { putBack(); }

void SetAsidePdf::discard() {
  if (settled_) return;
  settled_ = true;
  ignoringErrors([&] { fileSystem().deleteFile(aside_); });
  processEnd().dropPendingMove();
}

void SetAsidePdf::putBack() {
  if (settled_) return;
  settled_ = true;
  ignoringErrors([&] { fileSystem().moveFile(aside_, path_); });
  processEnd().dropPendingMove();
}

}  // namespace vd
