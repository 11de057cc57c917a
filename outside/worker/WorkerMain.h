// The worker program's side of the worker machinery (outside/worker/WorkerClient.h). A
// worker program is its job handler and a main() that hands it to serveJobs:
//
//   int main(int argc, char** argv) { return vd::worker::serveJobs(argc, argv, handleJob); }
//
// serveJobs reads the jobs its client sends, one at a time, calls the handler for each and
// tells the client how the job ended, until the client closes the socket or goes away.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "outside/worker/Confinement.h"

namespace vd::worker {

// How a job handler talks to its client while the job runs. Safe to call from any thread
// of the worker; each call returns false once the client is gone.
class JobReporter {
 public:
  // A line for the job's log.
  bool line(const std::string& text);
  // A report of the worker kind's own: any frame type but the machinery's 'J', 'A', 'L'
  // and 'E' (which throw std::invalid_argument).
  bool report(char type, const std::string& payload);
};

// Runs one job given as the client's list of texts; returns the job's code (0 when it
// succeeded). An exception ends the job with code -1 and its message as a log line; a
// job that runs out of memory also ends the worker, so the next job gets a fresh one.
using JobHandler = std::function<int(const std::vector<std::string>& job, JobReporter& reporter)>;

// Work done while the client has nothing for the worker: once before the first job and
// after each job's end has been reported, e.g. getting ready for the next job. A job that
// arrives meanwhile waits until it returns.
using BetweenJobs = std::function<void()>;

// The worker's main loop; returns main's exit code.
int serveJobs(int argc, char** argv, const JobHandler& handler, const BetweenJobs& betweenJobs = {});

// The main loop of a worker that interprets untrusted documents: it confines itself first
// (outside/worker/Confinement.h; rules.folder comes from its client) and then serves its
// jobs. Where the kernel cannot confine it, it serves them unconfined, or, when
// VELLUMDOCK_REQUIRE_CONFINEMENT=1, fails every job with the reason and runs nothing of its
// own (betweenJobs included). Started with kProbeOption, it only says whether it can be
// confined.
int serveConfinedJobs(int argc, char** argv, ConfinementRules rules, const JobHandler& handler,
                      const BetweenJobs& betweenJobs = {});

}  // namespace vd::worker
