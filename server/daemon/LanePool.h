// The lanes of `vellumdkd --jobs N`: one child process per lane (vellumdk-lane in the
// helper folder), each converting one file at a time with its own warm engine.
//
// Lanes are processes, not threads: the core reaches the file system, the event pump and
// the registry through process-wide seams, and the engine and its stand-ins were written
// for one caller at a time. In a process of its own each lane has all of them to itself;
// a lane that crashes or is killed takes only its own file with it, and the daemon, which
// alone chooses names and moves files, carries on.
//
// A lane has a bound on each job: twice the longest bound of one step (VELLUMDOCK_JOB_TIMEOUT,
// VELLUMDOCK_SETTLE_TIMEOUT; an office document is printed, then distilled) and a margin,
// counted afresh at each sign of progress (a script's next entry). A lane past it hangs
// (stopped, or stuck on a file system): it is killed, its file fails with that reason, and
// a fresh lane takes the next file, while the other lanes go on.
//
// Each lane is started when it is first given a file and kept warm. It runs in a process
// group of its own, so a terminal's Ctrl-C reaches only the daemon (which finishes the
// files in hand), and ends with the daemon, however the daemon ends (the worker
// machinery's parent-death signal). Its standard streams are /dev/null: everything it has
// to say comes over its socket and is written out by the daemon, one whole line at a time.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <chrono>
#include <string>
#include <vector>

#include "outside/worker/WorkerProtocol.h"
#include "server/ConversionLanes.h"

namespace vd::daemon {

class LanePool : public ConversionLanes {
 public:
  // count lanes of the given program (a worker program speaking the lane's reports).
  LanePool(std::size_t count, std::string program);
  // Lets each lane end on its own for a moment, then kills what is left and reaps it.
  ~LanePool() override;
  LanePool(const LanePool&) = delete;
  LanePool& operator=(const LanePool&) = delete;

  std::size_t count() const override { return lanes_.size(); }
  std::optional<std::string> start(std::size_t lane, const LaneJob& job) override;
  std::optional<LaneFinished> wait(int milliseconds,
                                   const std::function<void(std::size_t, const std::string&)>& onLine) override;
  void abandon() override;

  // The running lanes' process ids.
  std::vector<pid_t> pids() const;
  // Lanes that died, in a job or while idle, and were (or will be) replaced.
  std::uint64_t lost() const { return lost_; }

 private:
  using Clock = std::chrono::steady_clock;

  struct Lane {
    pid_t pid = 0;
    int socket = -1;
    bool busy = false;
    std::string failure;
    std::optional<VerifiedPdf> verified;
    worker::FrameDecoder decoder;
    // When the job in hand has run too long without a sign of progress.
    Clock::time_point deadline;
  };

  bool spawn(Lane& lane, std::string& why);
  // Kills the lane's process group and reaps it; returns its wait status.
  int kill(Lane& lane);
  // The job of a lane whose frames are all read: finished when its end frame came.
  std::optional<LaneFinished> takeFrames(std::size_t index,
                                         const std::function<void(std::size_t, const std::string&)>& onLine);
  LaneFinished died(std::size_t index);
  // The first busy lane past its deadline, ended; nothing when none is.
  std::optional<LaneFinished> endOverdue();
  // Milliseconds until the nearest deadline of a busy lane, at most `limit`.
  int untilNearestDeadline(int limit) const;

  std::string program_;
  Clock::duration bound_;
  std::vector<Lane> lanes_;
  std::uint64_t lost_ = 0;
};

// The bound on one job of a lane, from the environment's bounds of its steps.
double LaneJobBoundSeconds();

// Lanes for a machine: one per core this process may run on, but no more than one per GiB
// of memory available now (a conversion of a large image or a long PostScript job can take
// most of one), and at least one.
std::size_t DefaultLaneCount();

}  // namespace vd::daemon
