#include "outside/worker/WorkerLimits.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/Environment.h"

namespace vd {
namespace {

// A count from the environment, rounded up and kept within what Whole can hold.
template <class Whole>
Whole environmentCount(const char* name, Whole fallback, Whole largest) {
  const double value = positiveEnvironmentNumber(name, static_cast<double>(fallback));
  return static_cast<Whole>(std::min(std::ceil(value), static_cast<double>(largest)));
}

}  // namespace

WorkerLimits WorkerLimits::overriddenByEnvironment() const {
  WorkerLimits limits = *this;
  limits.jobSeconds = positiveEnvironmentNumber(timeoutVariable, jobSeconds);
  // A bound past what the address space can hold is no bound.
  limits.memoryMegabytes = environmentCount<long long>("VELLUMDOCK_JOB_MEMORY_MB", memoryMegabytes, 1LL << 40);
  limits.jobsPerWorker = environmentCount<int>("VELLUMDOCK_WORKER_JOBS", jobsPerWorker, INT_MAX);
  return limits;
}

}  // namespace vd
