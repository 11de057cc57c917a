#include "scripts/FolderBrowsing.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "common/IgnoringErrors.h"
#include "platform/FileSystem.h"
#include "platform/MountTable.h"

namespace vd {
namespace {

// File systems of the kernel and of devices: nothing an operator keeps documents on.
bool isSystemFileSystem(const std::string& fileSystem) {
  static constexpr std::array<std::string_view, 23> kSystem = {
      "proc",      "sysfs",      "cgroup",  "cgroup2",     "devpts",    "devtmpfs", "mqueue",    "debugfs",
      "tracefs",   "securityfs", "pstore",  "bpf",         "configfs",  "fusectl",  "hugetlbfs", "autofs",
      "binfmt_misc", "efivarfs", "nsfs",    "rpc_pipefs",  "selinuxfs", "ramfs",    "fuse.portal"};
  return std::find(kSystem.begin(), kSystem.end(), fileSystem) != kSystem.end();
}

bool underSystemFolder(const std::string& mountPoint) {
  for (const std::string_view folder : {"/proc", "/sys", "/dev", "/run"}) {
    if (mountPoint.compare(0, folder.size(), folder) == 0 &&
        (mountPoint.size() == folder.size() || mountPoint[folder.size()] == '/')) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string PathInFolder(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::vector<DriveEntry> MountedDrives() {
  // A later mount at the same point hides the earlier one.
  std::map<std::string, MountEntry> byPoint;
  ignoringErrors([&] {
    for (const MountEntry& mount : mountTable().mounts()) byPoint[mount.mountPoint] = mount;
  });
  std::vector<DriveEntry> drives;
  bool haveRoot = false;
  for (const auto& [point, mount] : byPoint) {
    if (point.empty() || point.front() != '/') continue;
    if (isSystemFileSystem(mount.fileSystem) || underSystemFolder(point)) continue;
    if (!fileSystem().isDirectory(point)) continue;  // a single file mounted over another
    DriveEntry drive{point, point};
    if (IsNetworkFileSystem(mount.fileSystem)) drive.label += "  [" + mount.source + "]";
    haveRoot = haveRoot || point == "/";
    drives.push_back(drive);
  }
  if (!haveRoot) drives.insert(drives.begin(), DriveEntry{"/", "/"});
  return drives;
}

std::vector<FolderEntry> FolderTree(const std::string& folder) {
  std::vector<FolderEntry> tree{FolderEntry{"/", "/", 0, true}};
  std::string path;
  std::size_t start = 0;
  while (start < folder.size()) {
    const std::size_t end = std::min(folder.find('/', start), folder.size());
    if (end > start) {
      const std::string name = folder.substr(start, end - start);
      path += "/" + name;
      tree.push_back(FolderEntry{path, name, static_cast<int>(tree.size()), true});
    }
    start = end + 1;
  }
  const std::string current = tree.back().path;
  const int depth = static_cast<int>(tree.size());
  ignoringErrors([&] {
    for (const std::string& name : fileSystem().listFolders(current)) {
      tree.push_back(FolderEntry{PathInFolder(current, name), name, depth, false});
    }
  });
  return tree;
}

std::string FormatFileSize(std::uint64_t bytes, const std::string& separator) {
  std::string digits = std::to_string(bytes);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, separator);
  return digits;
}

std::string FileDetails(const std::string& path) {
  const std::optional<FileStamp> stamp = fileSystem().stamp(path);
  if (!stamp || fileSystem().isDirectory(path)) return {};
  const QLocale locale = QLocale::system();
  const QDateTime modified = QDateTime::fromMSecsSinceEpoch(stamp->modifiedNanoseconds / 1000000);
  const QString separator = locale.groupSeparator().isEmpty() ? QStringLiteral(",") : locale.groupSeparator();
  return locale.toString(modified, QLocale::ShortFormat).toStdString() + "  " +
         FormatFileSize(stamp->size, separator.toStdString());
}

}  // namespace vd
