// Splitting a path by its last "/" and the last "." of its last part. Paths are text here:
// nothing is looked up on disk. Trailing slashes are ignored, and a name that starts with
// its only dot (".profile") is a hidden name without an extension.
#pragma once

#include <string>
#include <string_view>

namespace vd {

// The folder holding the entry: "." for a bare name, "/" for an entry of the root.
std::string folderOf(std::string_view path);
// The last part of the path ("/" for the root itself).
std::string fileNameOf(std::string_view path);
// The extension of the last part, without its dot and as written; "" when it has none.
std::string extensionOf(std::string_view path);
// The path without the dot and extension of its last part.
std::string withoutExtension(std::string_view path);

// A relative path made absolute against the current folder, which is the one thing looked
// up here: "." parts and doubled slashes go, ".." parts stay (behind a link they lead
// elsewhere than the text suggests). An absolute or empty path comes back as it is. The
// programs take their paths so once, at start: the helpers they start run elsewhere.
std::string absolutePath(std::string_view path);

}  // namespace vd
