// One running vellumdk-gsworker process and the socket to it. The worker is started on
// first use, kept warm between jobs, and killed when a job passes its time bound or the
// conversation breaks; the next job then starts a fresh one.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "outside/ghostscript/GhostscriptRunner.h"

namespace vd {

struct WorkerBounds {
  double timeoutSeconds = 600;
  long long memoryMegabytes = 2048;
  // Reads VELLUMDOCK_JOB_TIMEOUT and VELLUMDOCK_JOB_MEMORY_MB over the defaults.
  static WorkerBounds fromEnvironment();
};

class GhostscriptWorker {
 public:
  explicit GhostscriptWorker(std::string programPath) : programPath_(std::move(programPath)) {}
  ~GhostscriptWorker();
  GhostscriptWorker(const GhostscriptWorker&) = delete;
  GhostscriptWorker& operator=(const GhostscriptWorker&) = delete;

  // Runs the interpreter with these arguments; progressFile is the input whose reading is
  // reported as percent done. Never throws for a failing job.
  GhostscriptResult run(const std::vector<std::string>& arguments, const std::string& progressFile,
                        const WorkerBounds& bounds, GhostscriptProgress* progress);

  // The worker's process id, 0 when none runs (for tests that check the restart).
  pid_t pid() const { return pid_; }

 private:
  bool start(const WorkerBounds& bounds, std::string& why);
  void kill();
  bool idleWorkerAlive();
  enum class Ending { Finished, Died, TimedOut };
  Ending receive(double deadline, GhostscriptProgress* progress, const std::function<void(const std::string&)>& note,
                 GhostscriptResult& result, bool& heardFromJob);

  std::string programPath_;
  pid_t pid_ = 0;
  int socket_ = -1;
  long long startedWithMemory_ = 0;
  bool busy_ = false;
};

// The process-wide worker every job goes through.
GhostscriptWorker& sharedGhostscriptWorker();

}  // namespace vd
