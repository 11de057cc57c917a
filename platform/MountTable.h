// The mounted file systems, the Linux counterpart of drive letters and mapped network
// drives: a path's "drive" is the mount it lies on, a drive is remote when its file system
// is a network one, and a remote drive's network name is its mount source
// ("//server/share" for SMB, "server:/export" for NFS, "user@host:/path" for SSHFS).
#pragma once

#include <string>
#include <vector>

#include "common/Seam.h"

namespace vd {

struct MountEntry {
  std::string source;      // what was mounted ("//server/share", "server:/export", "/dev/sda1")
  std::string mountPoint;  // where, without escapes
  std::string fileSystem;  // "cifs", "nfs4", "ext4", ...
};

class MountTable {
 public:
  virtual ~MountTable() = default;
  // The current mounts in mount order (later mounts hide earlier ones at the same point).
  virtual std::vector<MountEntry> mounts() = 0;
};

template <>
MountTable& Seam<MountTable>::defaultInstance();
inline MountTable& mountTable() { return Seam<MountTable>::get(); }

// Reads /proc/self/mountinfo.
class LinuxMountTable : public MountTable {
 public:
  std::vector<MountEntry> mounts() override;
};

// The entries of a mountinfo text (the format of /proc/<pid>/mountinfo).
std::vector<MountEntry> ParseMountInfo(const std::string& text);
// True for file systems whose data lives on another machine.
bool IsNetworkFileSystem(const std::string& fileSystem);

}  // namespace vd
