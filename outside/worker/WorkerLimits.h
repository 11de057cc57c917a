// The bounds of a worker program and its jobs (outside/worker/WorkerClient.h).
#pragma once

namespace vd {

// The bounds of a worker and its jobs.
struct WorkerLimits {
  double jobSeconds = 600;
  // The address space of the worker and its children; 0 leaves it unbounded.
  long long memoryMegabytes = 2048;
  // Jobs one worker runs before a fresh one takes over; 0 keeps it for as many as come.
  int jobsPerWorker = 0;
  // The environment variable that sets jobSeconds: a kind whose jobs are of another scale
  // than a document's conversion (one page's text recognition) has a variable of its own.
  const char* timeoutVariable = "VELLUMDOCK_JOB_TIMEOUT";

  // These limits with what the environment sets over them: timeoutVariable (seconds),
  // VELLUMDOCK_JOB_MEMORY_MB and VELLUMDOCK_WORKER_JOBS. The one place where the workers'
  // bounds are read.
  WorkerLimits overriddenByEnvironment() const;
};

}  // namespace vd
