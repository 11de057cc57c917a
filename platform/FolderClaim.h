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

namespace vd {

class FolderClaim {
 public:
  // Why a claim was not granted, in a sentence an operator can act on.
  struct Refusal {
    std::string reason;
  };

  // Claims the folder for this process; the claim lasts as long as the object.
  static std::unique_ptr<FolderClaim> tryClaim(const std::string& folder, Refusal& refusal);
  ~FolderClaim();
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;

  const std::string& lockFile() const { return lockFile_; }

 private:
  FolderClaim(int descriptor, std::string key, std::string lockFile);

  int descriptor_;
  std::string key_;
  std::string lockFile_;
};

}  // namespace vd
