// Runs PostScript interpreter jobs in the warm, bounded worker program vellumdk-gsworker
// (outside/worker/WorkerClient.h). The interpreter never runs inside the caller's process:
// a job that hangs past its time bound, that dies, or that allocates past its memory
// bound ends as a failed job, the worker is killed and the next job gets a fresh one.
//
// Bounds come from the environment, so an installation (or a test) can tighten them:
//   VELLUMDOCK_JOB_TIMEOUT    seconds a job may run (default 600)
//   VELLUMDOCK_JOB_MEMORY_MB  address-space limit of the worker in MiB (default 2048)
//   VELLUMDOCK_WORKER_JOBS    jobs one worker runs before a fresh one takes over (default 1000)
//
// Calls are made on the window thread; while a job runs the caller's windows keep
// processing their events (platform/EventPump.h) and progress is reported on that thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outside/worker/WorkerClient.h"

namespace vd {

struct GhostscriptResult {
  bool ok = false;
  // Pages the device finished.
  std::int32_t pages = 0;
  // Everything the interpreter printed, one message per line, and our own note when the
  // job was stopped (time bound, worker died).
  std::string messages;
};

// Progress of a running job; every call arrives on the calling thread.
class GhostscriptProgress {
 public:
  virtual ~GhostscriptProgress() = default;
  virtual void onMessage(const std::string& /*line*/) {}
  // Each page the device finished, counting from 1.
  virtual void onPage(std::int32_t /*page*/) {}
  // The share of the input file consumed so far, rising to 100 when the job succeeded.
  virtual void onPercent(std::int32_t /*percent*/) {}
};

struct GhostscriptJob {
  // Device and its switches, e.g. {"-sDEVICE=ps2write"} or {"-sDEVICE=pdfwrite", "-dEPSCrop"}.
  // The runner adds -q -dSAFER -dBATCH -dNOPAUSE and the output file itself.
  std::vector<std::string> deviceArguments;
  std::string inputFile;
  std::string outputFile;
  // PostScript run before the input, e.g. distiller parameters (<< ... >> setdistillerparams).
  std::string prolog;
};

// Runs one job. A job that finishes without a single page has failed: the interpreter's
// devices would otherwise write a blank page of their own. A failed job leaves no output
// file (the interpreter may have started one).
// Names may hold any characters: they travel as argument data, never through a shell.
GhostscriptResult RunGhostscriptJob(const GhostscriptJob& job, GhostscriptProgress* progress = nullptr);

inline GhostscriptResult RunGhostscriptJob(const std::vector<std::string>& deviceArguments,
                                           const std::string& inputFile, const std::string& outputFile) {
  return RunGhostscriptJob(GhostscriptJob{deviceArguments, inputFile, outputFile, {}}, nullptr);
}

// The worker program's path: helperDir() + "/vellumdk-gsworker".
std::string GhostscriptWorkerPath();

// The process-wide client every job goes through.
WorkerClient& ghostscriptWorker();

}  // namespace vd
