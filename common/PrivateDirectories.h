// Directories only this user can enter, for the users' documents on their way through the
// program (temporary PostScript, interpreter input) and for the per-user runtime state.
// Anyone can create a name in /tmp first, so an existing directory is used only when it
// is a real directory of this user that nobody else may enter.
#pragma once

#include <string>

namespace vd {

// Creates dir with mode 0700, or accepts it when it already exists as a directory (not a
// link) owned by this user without any group or other permission. False otherwise.
bool makePrivateDirectory(const std::string& dir);

// Makes a fresh private directory "<base>/<prefix>-XXXXXX" under a name nobody held before
// (base as for TemporaryDirectory) and returns its path; "" when none could be made. It
// stays until someone removes it.
std::string makeFreshPrivateDirectory(const std::string& prefix);

// A fresh private directory with a unique name, "<base>/<prefix>-XXXXXX", base being
// $TMPDIR when it is an absolute path and /tmp otherwise. It is removed with everything
// inside it (links are removed, not followed) when the object goes away.
class TemporaryDirectory {
 public:
  explicit TemporaryDirectory(const std::string& prefix);
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  // False when no directory could be made; path() is "" then.
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The folder for temporary directories: $TMPDIR when it is an absolute path, else /tmp.
std::string temporaryBase();

// Removes, from folder, what processes that ended without cleaning up (killed) left under
// names "<prefix><pid>-...": folders with everything inside, files and links (never
// followed). What a running process, or another user, holds there stays.
void RemoveLeftoversOfEndedProcesses(const std::string& folder, const std::string& prefix);

}  // namespace vd
