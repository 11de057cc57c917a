// Looking at processes and descriptors: what a test checks to know that nothing was left
// behind (children never reaped, descriptors never closed, processes still running).
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace vd::test {

// Descriptors this process holds open.
std::size_t OpenDescriptors();
// Children of this process that ended and were never reaped.
int ZombieChildren();
// True once pid runs no more (gone, or ended and waiting for its parent), waiting up to
// the given seconds for it.
bool ProcessEnds(pid_t pid, double seconds = 2);

}  // namespace vd::test
