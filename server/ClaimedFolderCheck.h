// Whether the input folder's path still names the folder claimed when scanning started.
// Whoever may write beside the input folder can move it away and put a link to another
// folder in its place; a cycle going by the path would then convert and remove that
// folder's files. While the path names another folder, nothing is listed, converted or
// removed, and the log says why once; when the folder is back, scanning goes on.
#pragma once

#include <functional>
#include <string>

namespace vd {

class FolderClaim;

class ClaimedFolderCheck {
 public:
  // True when inputDir names the folder the claim holds, or when the claim holds none (the
  // folder was not there to be opened when it was claimed). When it does not, say gets
  // the log line, the first time only until the folder is back.
  bool holds(const FolderClaim* claim, const std::string& inputDir, const std::function<void(const std::string&)>& say);

 private:
  bool said_ = false;
};

}  // namespace vd
