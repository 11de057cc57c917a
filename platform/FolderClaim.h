// One running instance's claim on the input folder it scans. Two instances listing and
// deleting in one folder convert some files twice and delete others without a PDF, so
// whoever comes second must not scan.
//
// The claim is a lock on a file of the per-user runtime folder, named by the input
// folder's device and inode (any spelling of the path, links and bind mounts included,
// names the same folder), never a file inside the input folder, which may be shared or
// read-only. The system drops the lock when the process ends, however it ends, so a crash
// never leaves the folder claimed.
//
// The claim belongs to the instance (the process that runs the scan cycle), not to the
// workers or lanes it starts: its descriptor is closed on exec, and a record lock is
// never inherited by a forked child, so a helper that outlives a killed instance does not
// keep the folder from the next one. Instances of other accounts do not see it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/OpenFolder.h"

namespace vd {

class FolderClaim {
 public:
  // Why a claim was not granted, in a sentence an operator can act on: another instance
  // holds the folder, or no lock could be taken at all (a runtime folder that cannot be
  // used), which waiting does not mend.
  struct Refusal {
    std::string reason;
    bool lockImpossible = false;
  };

  // Claims the folder for this process; the claim lasts as long as the object.
  static std::unique_ptr<FolderClaim> tryClaim(const std::string& folder, Refusal& refusal);
  ~FolderClaim();
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;

  const std::string& lockFile() const { return lockFile_; }
  // The folder claimed, held open since the claim: what is removed from it or moved out of
  // it goes through this, so a link put in place of the folder is never followed, and
  // whether its path still names it can be asked. Null when it was not there to be opened.
  const OpenFolder* folder() const { return folder_.get(); }

 private:
  FolderClaim(int descriptor, std::string key, std::string lockFile, std::unique_ptr<OpenFolder> folder);

  int descriptor_;
  std::string key_;
  std::string lockFile_;
  std::unique_ptr<OpenFolder> folder_;
};

}  // namespace vd
