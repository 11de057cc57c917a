// The mount-table reader, then the network paths over the mounts it read: the table is
// the kernel's, but its names (mount points, sources) are chosen by whoever mounts.
#include "fuzz/FuzzTargets.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "common/Seam.h"
#include "platform/MountTable.h"
#include "scripts/NetworkPaths.h"

namespace vd::fuzz {
namespace {

class ParsedMounts : public MountTable {
 public:
  std::vector<MountEntry> mounts() override { return entries; }
  std::vector<MountEntry> entries;
};

// A name as the kernel writes it into a mountinfo field.
std::string escaped(const std::string& name) {
  std::string field;
  for (const char c : name) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
      static const char digits[] = "01234567";
      const auto byte = static_cast<unsigned char>(c);
      field += '\\';
      field += digits[byte >> 6];
      field += digits[(byte >> 3) & 7];
      field += digits[byte & 7];
    } else {
      field += c;
    }
  }
  return field;
}

}  // namespace

int FuzzMountInfo(const std::uint8_t* data, std::size_t size) {
  static ParsedMounts table;
  static ScopedSeam<MountTable> seam(table);
  const std::vector<MountEntry> entries = ParseMountInfo(BytesOf(data, size));

  // The kernel escapes blanks, tabs, line ends and backslashes in names, and nothing else:
  // whatever was read must read the same when written that way.
  std::string written;
  for (const MountEntry& entry : entries) {
    Require(!entry.fileSystem.empty() && !entry.mountPoint.empty() && !entry.source.empty(),
            "a mount has a source, a mount point and a file system");
    written += "1 1 0:1 / " + escaped(entry.mountPoint) + " rw - " + entry.fileSystem + " " + escaped(entry.source) +
               " rw\n";
  }
  const std::vector<MountEntry> again = ParseMountInfo(written);
  Require(again.size() == entries.size(), "every mount reads again");
  for (std::size_t i = 0; i < again.size(); ++i) {
    Require(again[i].mountPoint == entries[i].mountPoint && again[i].source == entries[i].source &&
                again[i].fileSystem == entries[i].fileSystem,
            "a mount reads again as it was");
  }

  // The network paths over these mounts (a few of them: the walk is quadratic).
  const std::size_t used = std::min<std::size_t>(entries.size(), 64);
  table.entries.assign(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(used));
  for (const MountEntry& mount : table.entries) {
    const std::string file = mount.mountPoint + "/a file.ps";
    const std::string drive = DriveOfPath(file);
    if (!file.empty() && file.front() == '/') Require(!drive.empty(), "an absolute path lies on a drive");
    GetDriveType(mount.mountPoint);
    std::string network;
    if (GetUNCPath(mount.mountPoint, network) == NO_ERROR_CODE) {
      // The last mount at a point hides the earlier ones there.
      const MountEntry* visible = nullptr;
      for (const MountEntry& other : table.entries) {
        if (other.mountPoint == mount.mountPoint) visible = &other;
      }
      Require(IsNetworkFileSystem(visible->fileSystem), "only network drives have network names");
    }
    ToNetworkPath(file);
    if (const auto local = ResolveNetworkLocation(mount.source + "/a file.ps")) {
      bool belowAShare = false;
      for (const MountEntry& share : table.entries) {
        belowAShare = belowAShare || (IsNetworkFileSystem(share.fileSystem) && local->rfind(share.mountPoint, 0) == 0);
      }
      Require(belowAShare, "a network location resolves below the mount point of a share");
    }
  }
  return 0;
}

}  // namespace vd::fuzz
