// Files only their owner may read. The per-user registry hive holds the Distiller's
// passwords, and other accounts can often list and read a home folder: its folder is kept
// at 0700 and the hive with SQLite's side files at 0600 (or tighter).
//
// Existing entries found open to group or others are tightened (owner bits kept), with one
// line on standard error naming the entry; an entry that cannot be tightened is reported
// once per process and left as it is. (Unlike common/PrivateDirectories.h, which refuses
// what it did not make private itself: that is for shared places such as /tmp, this for
// the user's own folders.)
#pragma once

#include <string>

namespace vd::privateFiles {

// Creates the directory with mode 0700 (missing parents 0755) or tightens an existing one.
// False when it is not a directory afterwards.
bool ensureDirectory(const std::string& directory);
// Creates an empty file with mode 0600 when nothing is there; tightens an existing one.
// False when the file could not be created.
bool ensureFile(const std::string& path);
// Tightens the file when it exists; a missing file is left missing.
void keepPrivate(const std::string& path);

}  // namespace vd::privateFiles
