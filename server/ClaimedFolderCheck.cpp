#include "server/ClaimedFolderCheck.h"

#include "platform/FolderClaim.h"

namespace vd {

bool ClaimedFolderCheck::holds(const FolderClaim* claim, const std::string& inputDir,
                               const std::function<void(const std::string&)>& say) {
  const OpenFolder* claimed = claim != nullptr ? claim->folder() : nullptr;
  if (claimed == nullptr || claimed->isAt(inputDir)) {
    said_ = false;
    return true;
  }
  if (!said_) {
    say(inputDir + " is no longer the folder claimed when scanning started (it was moved away or replaced, by a "
                   "link perhaps): nothing in it is converted or removed until that folder is back.");
  }
  said_ = true;
  return false;
}

}  // namespace vd
