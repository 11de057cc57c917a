// Looking at processes and descriptors: what a test checks to know that nothing was left
// behind (children never reaped, descriptors never closed, processes still running).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace vd::test {

// Descriptors this process holds open.
std::size_t OpenDescriptors();
// Children of this process that ended and were never reaped.
int ZombieChildren();
// Children of this process that still run, waiting up to the given seconds for them to end.
std::vector<pid_t> ChildrenStillRunning(double seconds = 5);
// True once pid runs no more (gone, or ended and waiting for its parent), waiting up to
// the given seconds for it.
bool ProcessEnds(pid_t pid, double seconds = 2);

}  // namespace vd::test
