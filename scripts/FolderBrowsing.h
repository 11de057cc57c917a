// What the script builder's drive and folder lists offer, without widgets: the mounted
// volumes as drives, the folders from the root down to the one being browsed with that
// folder's subfolders below it, and the line that describes a chosen file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vd {

struct DriveEntry {
  std::string root;   // the mount point
  std::string label;  // the mount point, and for a network drive its network name in brackets
};

// The mounted volumes that hold files (no kernel or device file systems, no single-file
// mounts), one per mount point, in the order of their mount points: "/" comes first.
std::vector<DriveEntry> MountedDrives();

struct FolderEntry {
  std::string path;
  std::string name;   // "/" for the root
  int depth = 0;      // 0 for the root
  bool open = false;  // on the way from the root to the folder being browsed, that folder included
};

// The root and every folder down to folder (open), then folder's subfolders (closed). A
// folder that cannot be read shows no subfolders.
std::vector<FolderEntry> FolderTree(const std::string& folder);

// A number of bytes with its thousands grouped ("###,###,##0"): 0 gives "0", 1234567
// gives "1,234,567".
std::string FormatFileSize(std::uint64_t bytes, const std::string& separator = ",");
// The file's last-modified date and time in the system's short form, two spaces and its
// size; "" when the file cannot be looked at (it vanished after the listing).
std::string FileDetails(const std::string& path);

// folder + "/" + name, without doubling the slash of the root.
std::string PathInFolder(const std::string& folder, const std::string& name);

}  // namespace vd
