#include "scripts/NetworkPaths.h"

#include <vector>

#include "common/Text.h"
#include "platform/MountTable.h"

namespace vd {
namespace {

bool startsAtComponent(const std::string& path, const std::string& prefix) {
  if (prefix == "/") return !path.empty() && path.front() == '/';
  return path.size() >= prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
         (path.size() == prefix.size() || path[prefix.size()] == '/');
}

// The mount holding path: the longest mount point above it, the later one on a tie.
std::optional<MountEntry> mountHolding(const std::string& path) {
  std::optional<MountEntry> best;
  for (const MountEntry& entry : mountTable().mounts()) {
    if (!startsAtComponent(path, entry.mountPoint)) continue;
    if (!best || entry.mountPoint.size() >= best->mountPoint.size()) best = entry;
  }
  return best;
}

std::string withoutTrailingSlashes(std::string text) {
  while (text.size() > 2 && text.back() == '/') text.pop_back();
  return text;
}

// "//server/share", "server:/export" and "user@server:/path" all as "//server/path".
std::optional<std::string> canonicalNetworkName(const std::string& name) {
  if (name.size() > 2 && name.compare(0, 2, "//") == 0) return withoutTrailingSlashes(name);
  const auto colon = name.find(':');
  if (colon == std::string::npos || colon == 0 || name.find('/') < colon) return std::nullopt;
  std::string host = name.substr(0, colon);
  if (const auto at = host.find('@'); at != std::string::npos) host = host.substr(at + 1);
  std::string rest = name.substr(colon + 1);
  if (rest.empty() || rest.front() != '/') rest.insert(rest.begin(), '/');
  return withoutTrailingSlashes("//" + host + rest);
}

bool caseInsensitiveShares(const std::string& fileSystem) {
  const std::string lower = toLowerAscii(fileSystem);
  return lower == "cifs" || lower == "smb3" || lower == "smbfs";
}

// The server part compares without regard to case; SMB shares and their paths do too.
bool networkPrefixMatches(const std::string& location, const std::string& name, bool ignoreCase) {
  if (location.size() < name.size()) return false;
  if (location.size() > name.size() && location[name.size()] != '/') return false;
  const auto serverEnd = name.find('/', 2);
  const std::size_t exactFrom = ignoreCase ? name.size() : (serverEnd == std::string::npos ? name.size() : serverEnd);
  if (!equalsIgnoreCase(location.substr(0, exactFrom), name.substr(0, exactFrom))) return false;
  return location.compare(exactFrom, name.size() - exactFrom, name, exactFrom, name.size() - exactFrom) == 0;
}

}  // namespace

std::string DriveOfPath(const std::string& path) {
  if (path.empty() || path.front() != '/') return {};
  const std::optional<MountEntry> mount = mountHolding(path);
  return mount ? mount->mountPoint : std::string("/");
}

std::uint32_t GetDriveType(const std::string& drive) {
  std::optional<MountEntry> found;
  for (const MountEntry& entry : mountTable().mounts()) {
    if (entry.mountPoint == drive) found = entry;
  }
  if (!found) return DRIVE_NO_ROOT_DIR;
  return IsNetworkFileSystem(found->fileSystem) ? DRIVE_REMOTE : DRIVE_FIXED;
}

std::int32_t GetUNCPath(const std::string& drive, std::string& networkPath) {
  networkPath.clear();
  std::optional<MountEntry> found;
  for (const MountEntry& entry : mountTable().mounts()) {
    if (entry.mountPoint == drive) found = entry;
  }
  if (!found || !IsNetworkFileSystem(found->fileSystem)) return ERROR_NOT_CONNECTED;
  networkPath = withoutTrailingSlashes(found->source);
  return NO_ERROR_CODE;
}

std::string ToNetworkPath(const std::string& path) {
  const std::string drive = DriveOfPath(path);
  if (drive.empty() || GetDriveType(drive) != DRIVE_REMOTE) return path;
  std::string networkPath;
  if (GetUNCPath(drive, networkPath) != NO_ERROR_CODE) return path;
  const std::string rest = drive == "/" ? path : path.substr(drive.size());
  return networkPath + rest;
}

bool IsNetworkLocation(const std::string& entry) {
  if (entry.size() > 2 && ((entry[0] == '\\' && entry[1] == '\\') || (entry[0] == '/' && entry[1] == '/'))) return true;
  // "server:/export/file" and "user@server:/path/file", as the builder writes the files of
  // NFS and SSH mounts: a host without "/" or "\\" before the colon, an absolute path after.
  const auto colon = entry.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= entry.size() || entry[colon + 1] != '/') return false;
  const std::string host = entry.substr(0, colon);
  if (host.find_first_of("/\\") != std::string::npos) return false;
  const auto at = host.find('@');
  return at == std::string::npos || at + 1 < host.size();
}

std::optional<std::string> ResolveNetworkLocation(const std::string& entry) {
  std::string location = entry;
  if (entry.size() > 2 && entry[0] == '\\' && entry[1] == '\\') {
    for (char& c : location) {
      if (c == '\\') c = '/';
    }
  }
  std::optional<std::string> canonical = canonicalNetworkName(location);
  if (!canonical) return std::nullopt;
  const std::vector<MountEntry> mounts = mountTable().mounts();
  // The most specific share wins (a mount of //server/share/sub over one of //server/share).
  std::optional<std::string> best;
  std::size_t bestLength = 0;
  for (const MountEntry& mount : mounts) {
    if (!IsNetworkFileSystem(mount.fileSystem)) continue;
    const std::optional<std::string> name = canonicalNetworkName(mount.source);
    if (!name || !networkPrefixMatches(*canonical, *name, caseInsensitiveShares(mount.fileSystem))) continue;
    if (best && name->size() < bestLength) continue;
    const std::string rest = canonical->substr(name->size());
    best = (mount.mountPoint == "/" ? std::string() : mount.mountPoint) + (rest.empty() ? "/" : rest);
    bestLength = name->size();
  }
  return best;
}

}  // namespace vd
