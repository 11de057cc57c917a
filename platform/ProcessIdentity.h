// Telling a process from a later one that got the same id: the kernel's start time of a
// process, read from /proc, names it for as long as it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace vd {

// The start time of the process, "" when there is no such process.
std::string processStartTime(pid_t pid);

// True while the process that had startTime runs (an ended one waiting to be reaped
// does not count).
bool processRunning(pid_t pid, const std::string& startTime);

}  // namespace vd
