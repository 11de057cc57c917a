#include "server/PathNames.h"

#include "common/IgnoringErrors.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "platform/FileSystem.h"

namespace vd {

std::string GetExtension(const std::string& name) {
  const auto dot = name.find_last_of('.');
  return toLowerAscii(dot == std::string::npos ? name : name.substr(dot + 1));
}

std::string GetBaseName(const std::string& path) {
  const std::string name = fileNameOf(path);
  // Any last dot ends the base name, a leading one too, as the scan cycle always cut it.
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool PathExists(const std::string& path) {
  bool exists = false;
  // The scan cycle's test never raises: a path that cannot be looked at is not there.
  ignoringErrors([&] { exists = fileSystem().pathExists(path); });
  return exists;
}

}  // namespace vd
