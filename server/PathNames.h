// How the scan cycle names and finds files.
#pragma once

#include <string>

namespace vd {

// The text after the last "." of a name, in lower case; a name without "." yields the
// whole name in lower case. Folders are not stripped.
std::string GetExtension(const std::string& name);
// The text after the last "/" without its last "." and what follows.
std::string GetBaseName(const std::string& path);
// True when an entry (file or folder, not hidden) exists exactly at path.
bool PathExists(const std::string& path);

}  // namespace vd
