// Whether a directory can serve the scan cycle, checked before the first pass so that a
// mistyped path is an error at start and not a log full of failures.
#pragma once

#include <optional>
#include <string>

namespace vd::daemon {

enum class DirectoryUse { Scan, Write };

// Nothing when the directory is usable as asked; otherwise what is wrong with it.
std::optional<std::string> DirectoryProblem(const std::string& path, DirectoryUse use);

}  // namespace vd::daemon
