// The client of a worker program: a program of ours in the helper folder that runs jobs
// for this process, one at a time, so that whatever can hang, crash or eat memory does
// so outside it. The worker is
//   - started on first use and kept warm between jobs;
//   - bounded: each job in time (while it runs, the caller's windows keep processing
//     their events, platform/EventPump.h), the worker and everything it starts in memory
//     (RLIMIT_AS, set by the client; outside/worker/MemoryBound.h);
//   - killed, with every process it started, when a job passes its time bound or the
//     conversation breaks; that job fails with a clear message and the next job gets a
//     fresh worker;
//   - replaced after a number of jobs, and ended when its client goes away;
//   - given no descriptor of ours but its socket (fd 3) and /dev/null as its standard
//     streams;
//   - given a private temporary folder of its own as TMPDIR (mode 0700, removed with
//     everything in it when the worker ends or is killed), so nothing it runs reaches the
//     shared temporary folder through its own temporary files;
//   - given the folder its client shares with it ("--folder=PATH": the jobs' inputs and the
//     work part its temporary folder lies in), the only files a confined worker reaches
//     (outside/worker/Confinement.h); a job's files travel through a JobFolder
//     (outside/worker/JobFolder.h).
// A new kind of worker is a program whose main() calls serveJobs() with its job handler
// (outside/worker/WorkerMain.h, built with vd_worker_program in CMake) and a WorkerKind
// naming it here.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "common/PrivateDirectories.h"
#include "outside/worker/WorkerLimits.h"

namespace vd {

struct WorkerKind {
  // A program in the helper folder.
  std::string programName;
  // The worker as messages name it: "The PostScript interpreter".
  std::string title;
  // The limits before the environment's say.
  WorkerLimits limits;
  // Variables the worker gets ("NAME=value") where the environment sets none of its own.
  std::vector<std::string> environmentDefaults = {};
};

// What a running job reports; every call arrives on the thread that runs the job.
class JobListener {
 public:
  virtual ~JobListener() = default;
  virtual void onLine(const std::string& /*line*/) {}
  // A report of the worker kind's own, by its frame type.
  virtual void onReport(char /*type*/, const std::string& /*payload*/) {}
};

struct JobOutcome {
  enum class Ending { Finished, TimedOut, WorkerDied, NotRun };
  Ending ending = Ending::NotRun;
  // The job handler's code, when the job finished.
  int code = -1;
  // Why the job did not finish, as a sentence for the log; "" when it finished.
  std::string failure;
  bool succeeded() const { return ending == Ending::Finished && code == 0; }
};

class WorkerClient {
 public:
  explicit WorkerClient(WorkerKind kind) : kind_(std::move(kind)) {}
  // Ends the worker.
  ~WorkerClient();
  WorkerClient(const WorkerClient&) = delete;
  WorkerClient& operator=(const WorkerClient&) = delete;

  // Runs one job under the kind's limits as the environment sets them.
  JobOutcome run(const std::vector<std::string>& job, JobListener* listener = nullptr);
  JobOutcome run(const std::vector<std::string>& job, const WorkerLimits& limits, JobListener* listener);

  // Ends the worker now, letting it finish on its own for a moment; the next job starts
  // a fresh one.
  void stop();
  // The running worker's process id; 0 when none runs.
  pid_t pid() const { return pid_; }
  // helperDir() + "/" + the kind's program name.
  std::string programPath() const;
  // The kind's limits as the environment sets them.
  WorkerLimits limits() const { return kind_.limits.overriddenByEnvironment(); }
  // The folder shared with the workers, made on first use and kept while jobs or workers
  // use it. Throws FileError when it cannot be made.
  std::shared_ptr<const TemporaryDirectory> sharedFolder();

 private:
  enum class Exchange { Finished, NotAccepted, TimedOut, Died, Damaged };
  bool start(const WorkerLimits& limits, std::string& why);
  bool idleWorkerAlive() const;
  // Kills the worker and every process of its group; returns its wait status.
  int discard();
  // Ends the worker, letting it finish on its own for a moment.
  void endWorker();
  void removeTemporaryFolder();
  Exchange exchange(double deadline, JobListener* listener, JobOutcome& outcome);

  WorkerKind kind_;
  pid_t pid_ = 0;
  int socket_ = -1;
  long long startedWithMemory_ = 0;
  int jobsDone_ = 0;
  bool busy_ = false;
  std::shared_ptr<const TemporaryDirectory> sharedFolder_;
  // The running worker's temporary folder in the work part of the shared folder.
  std::string temporaryFolder_;
};

}  // namespace vd
