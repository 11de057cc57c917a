#include "Paths.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

namespace vd {
namespace {

std::string_view withoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// Where the extension's dot is, or npos: the last dot of the last part, unless it is the
// part's first character.
std::size_t extensionDot(std::string_view path) {
  const std::size_t nameStart = path.find_last_of('/') + 1;  // npos + 1 == 0
  const std::size_t dot = path.find_last_of('.');
  return dot != std::string_view::npos && dot > nameStart ? dot : std::string_view::npos;
}

}  // namespace

std::string folderOf(std::string_view path) {
  path = withoutTrailingSlashes(path);
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string_view::npos) return ".";
  const std::size_t end = path.find_last_not_of('/', slash);
  return end == std::string_view::npos ? "/" : std::string(path.substr(0, end + 1));
}

std::string fileNameOf(std::string_view path) {
  path = withoutTrailingSlashes(path);
  if (path == "/") return "/";
  const std::size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string extensionOf(std::string_view path) {
  path = withoutTrailingSlashes(path);
  const std::size_t dot = extensionDot(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string withoutExtension(std::string_view path) {
  path = withoutTrailingSlashes(path);
  return std::string(path.substr(0, extensionDot(path)));
}

std::string absolutePath(std::string_view path) {
  if (path.empty() || path.front() == '/') return std::string(path);
  char buffer[PATH_MAX];
  std::string absolute = getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, slash - start);
    if (!part.empty() && part != ".") {
      if (absolute.back() != '/') absolute += '/';
      absolute += part;
    }
    start = slash + 1;
  }
  // A folder named with its trailing slash keeps it ("out/" stays a folder's name).
  if (path.back() == '/' && absolute.back() != '/') absolute += '/';
  return absolute;
}

}  // namespace vd
