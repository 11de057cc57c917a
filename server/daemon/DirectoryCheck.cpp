#include "server/daemon/DirectoryCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vd::daemon {

std::optional<std::string> DirectoryProblem(const std::string& path, DirectoryUse use) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return path + ": " + std::strerror(errno);
  if (!S_ISDIR(status.st_mode)) return path + ": not a directory";
  // Scanning lists the directory and removes converted files from it; writing adds PDFs.
  const int needed = use == DirectoryUse::Scan ? (R_OK | W_OK | X_OK) : (W_OK | X_OK);
  if (access(path.c_str(), needed) != 0) {
    return path + ": " + std::strerror(errno) + (use == DirectoryUse::Scan ? " (it must be readable and writable)" : "");
  }
  return std::nullopt;
}

}  // namespace vd::daemon
