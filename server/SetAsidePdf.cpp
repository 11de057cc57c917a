#include "server/SetAsidePdf.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include "common/IgnoringErrors.h"
#include "common/Paths.h"
#include "platform/FileSystem.h"
#include "platform/ProcessEnd.h"

namespace vd {
namespace {

constexpr std::string_view kAsideSuffix = ".replaced";

std::string asideNameOf(const std::string& pdfName) { return "." + pdfName + std::string(kAsideSuffix); }

// The PDF's own name for a name set aside; "" for any other name.
std::string pdfNameOf(std::string_view asideName) {
  if (asideName.size() <= 1 + kAsideSuffix.size() || asideName.front() != '.' ||
      asideName.substr(asideName.size() - kAsideSuffix.size()) != kAsideSuffix) {
    return {};
  }
  const std::string_view pdfName = asideName.substr(1, asideName.size() - 1 - kAsideSuffix.size());
  if (pdfName.size() <= 4 || pdfName.substr(pdfName.size() - 4) != ".pdf") return {};
  return std::string(pdfName);
}

// Renames unless the target exists; false (errno EEXIST when it exists) otherwise.
bool renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system that cannot refuse atomically: look first.
  struct stat info {};
  if (lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return false;
  }
  if (errno != ENOENT) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

void SetAsidePdf::settleLeftoversIn(const std::string& folder) {
  std::vector<std::string> pdfNames;
  if (DIR* listing = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(listing)) {
      if (std::string pdfName = pdfNameOf(entry->d_name); !pdfName.empty()) pdfNames.push_back(std::move(pdfName));
    }
    closedir(listing);
  }
  for (const std::string& pdfName : pdfNames) {
    const std::string aside = folder + "/" + asideNameOf(pdfName);
    struct stat info {};
    if (lstat(aside.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (!renameWithoutReplacing(aside, folder + "/" + pdfName) && errno == EEXIST) unlink(aside.c_str());
  }
}

SetAsidePdf::SetAsidePdf(std::string path) : path_(std::move(path)) {
  aside_ = folderOf(path_) + "/" + asideNameOf(fileNameOf(path_));
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
