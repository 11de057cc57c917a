// The exit codes of vellumdkd, as the README documents them for operators and unit files.
#pragma once

namespace vd::daemon {

inline constexpr int kExitStopped = 0;         // stopped by SIGTERM or SIGINT after the file in hand
inline constexpr int kExitFailure = 1;         // could not start: the stop signals, the event loop, the lanes
inline constexpr int kExitUsage = 2;           // an unknown option, a missing or malformed value
inline constexpr int kExitBadDirectory = 3;    // a directory that is missing or not usable
inline constexpr int kExitFolderTaken = 4;     // another instance scans the input directory
inline constexpr int kExitNoClaim = 5;         // no claim on the input directory can be taken (the runtime folder)

}  // namespace vd::daemon
