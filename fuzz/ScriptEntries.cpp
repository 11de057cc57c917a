// A script file as the script run reads it: split into lines, each trimmed, comments
// passed over, network locations resolved through the mounts of a machine with an SMB,
// an NFS and an SSH share, local paths turned into network locations as the builder does.
#include "fuzz/FuzzTargets.h"

#include <vector>

#include "common/Seam.h"
#include "common/Text.h"
#include "platform/MountTable.h"
#include "scripts/NetworkPaths.h"
#include "scripts/ScriptFile.h"

namespace vd::fuzz {
namespace {

class SharesMounted : public MountTable {
 public:
  std::vector<MountEntry> mounts() override {
    return {{"/dev/sda1", "/", "ext4"},
            {"//fileserver/Public", "/mnt/public", "cifs"},
            {"//fileserver/Public/Deep", "/mnt/public/deep", "smb3"},
            {"nas:/export/scans", "/srv/scans", "nfs4"},
            {"me@laptop:/home/me", "/home/me/laptop", "fuse.sshfs"},
            {"tmpfs", "/run/user/1000", "tmpfs"}};
  }
};

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

int FuzzScriptEntries(const std::uint8_t* data, std::size_t size) {
  static SharesMounted mounts;
  static ScopedSeam<MountTable> seam(mounts);
  const std::vector<std::string> lines = SplitScriptLines(BytesOf(data, size));
  for (const std::string& line : lines) {
    Require(line.find_first_of("\r\n") == std::string::npos, "a script line holds no line end");
    const std::string entry = trimSpaces(line);
    if (entry.empty() || entry.front() == '\'') continue;
    if (IsNetworkLocation(entry)) {
      if (const auto local = ResolveNetworkLocation(entry)) {
        Require(startsWith(*local, "/mnt/public/") || startsWith(*local, "/srv/scans/") ||
                    startsWith(*local, "/home/me/laptop/"),
                "a network location resolves below the mount of its share");
      }
    } else {
      // What the builder writes for a file on a share, the run reads through that share.
      const std::string written = ToNetworkPath(entry);
      if (written != entry) {
        Require(IsNetworkLocation(written), "the builder writes what the run takes for a network location");
        Require(ResolveNetworkLocation(written).has_value(), "the builder's network location resolves");
      }
    }
  }
  Require(SplitScriptLines(FormatScriptFile(lines)) == lines, "script lines read back as they were written");
  return 0;
}

}  // namespace vd::fuzz
