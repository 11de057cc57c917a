// The office suite the office applications' stand-ins print with: jobs for the worker
// program vellumdk-officeworker (outside/office/OfficeJobs.h), which keeps one headless
// LibreOffice of its own warm between them. The suite is
//   - started with the first job and kept for the next ones;
//   - bounded: a job that passes VELLUMDOCK_JOB_TIMEOUT, or a worker that dies, is ended
//     with every process it started, the job fails and the next one gets a fresh suite;
//   - replaced after VELLUMDOCK_WORKER_JOBS jobs (default 200), and ended with the last
//     stand-in of the engine that made it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "outside/worker/WorkerClient.h"

namespace vd {

class OfficeSuite {
 public:
  OfficeSuite();
  OfficeSuite(const OfficeSuite&) = delete;
  OfficeSuite& operator=(const OfficeSuite&) = delete;

  // Opens document for application and writes its print stream to printFile with the
  // settings given as key and value pairs. Throws std::runtime_error with the worker's
  // reason when no print stream came out.
  void print(const std::string& application, const std::string& document, const std::string& printFile,
             const std::vector<std::pair<std::string, std::string>>& settings);

  // The worker's process id while one runs; 0 when none does.
  pid_t workerPid() const { return worker_.pid(); }

 private:
  WorkerClient worker_;
};

// helperDir() + "/vellumdk-officeworker".
std::string OfficeWorkerPath();

}  // namespace vd
