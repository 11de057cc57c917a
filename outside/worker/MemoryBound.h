// How a worker's memory is bounded, on both sides: the client bounds the worker it starts,
// the worker names its bound when a job runs out of memory.
//
// Normally the bound is on address space (RLIMIT_AS), set by the client on the started
// worker and inherited by everything the worker starts. A build with the address sanitizer
// cannot take that bound: the sanitizer reserves terabytes of address space for its shadow
// memory, so a bounded worker could not even start. There the worker's own sanitizer bounds
// its resident memory instead (soft_rss_limit_mb, given through ASAN_OPTIONS): past it
// malloc returns null, as under the address-space bound, and a failing operator new, which
// under the sanitizer ends the process instead of throwing, ends the job with the same
// message as std::bad_alloc would. The sanitizer's thread that watches resident memory is
// not copied by fork(): a copy of the worker made for one job is bounded in address space
// on top of what it already holds, which stops the large allocations of a runaway job (each
// a mapping of its own) but not the small ones the sanitizer carves out of space it reserved
// at start. Programs a worker starts that are not instrumented (the office suite) are
// unbounded in that build. This is the one place the two builds' bounds differ.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vd::worker {

// Client side, before the worker starts: what its environment needs for the bound
// (nothing in the normal build). megabytes <= 0 is no bound.
void prepareMemoryBound(std::vector<std::string>& environment, long long megabytes);
// Client side, on the started worker, before it is given a job; false with errno set.
bool boundMemory(pid_t worker, long long megabytes);

// Worker side: the bound in MiB, 0 when there is none.
long long memoryBoundMegabytes();
// Worker side, in a copy of the worker made by fork() for one job, before the job runs:
// keeps the worker's bound there (it is inherited in the normal build).
void keepMemoryBoundInCopy();
// Worker side: outOfMemory is called, where a sanitizer's allocator ends the process
// because it ran out under the bound, before it ends it; it must allocate nothing and
// should end the process itself. Does nothing in the normal build.
void whenAllocatorRunsOut(void (*outOfMemory)());

}  // namespace vd::worker
