// Network locations of files, both ways. A script file may name a file by its network
// location ("\\server\share\dir\file", or "//server/share/dir/file", or
// "server:/export/dir/file"); where that share is mounted here, the file is read through
// the mount. The builder does the opposite: a file on a mounted network share is written
// by its network location, so the script works on any machine that mounts the share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vd {

// The kinds of "drive" a path can lie on.
inline constexpr std::uint32_t DRIVE_NO_ROOT_DIR = 1;
inline constexpr std::uint32_t DRIVE_FIXED = 3;
inline constexpr std::uint32_t DRIVE_REMOTE = 4;

// Result codes of GetUNCPath.
inline constexpr std::int32_t NO_ERROR_CODE = 0;
inline constexpr std::int32_t ERROR_NOT_CONNECTED = 2250;

// The mount point ("drive") holding an absolute path; "" for a relative path.
std::string DriveOfPath(const std::string& path);
// DRIVE_REMOTE when the drive is a network file system, DRIVE_FIXED for any other mount,
// DRIVE_NO_ROOT_DIR when drive is not a mount point.
std::uint32_t GetDriveType(const std::string& drive);
// The network name of a mounted network drive ("//server/share"); 0 on success,
// ERROR_NOT_CONNECTED (networkPath "") when drive is not a mounted network share.
std::int32_t GetUNCPath(const std::string& drive, std::string& networkPath);
// The builder's form of an entry: the network name plus the rest of the path when the
// file lies on a network drive, else the path unchanged.
std::string ToNetworkPath(const std::string& path);

// True when an entry names a network location rather than a local path: "\\server\...",
// "//server/...", "server:/..." or "user@server:/...".
bool IsNetworkLocation(const std::string& entry);
// The local path of a network location whose share is mounted here; nothing when it is
// not mounted (or the entry is no network location).
std::optional<std::string> ResolveNetworkLocation(const std::string& entry);

}  // namespace vd
