// What a running daemon shows of itself to those who watch it from another thread (the
// status page, the health check, the metrics): a copy of its state at one moment, made by
// the scan loop and read by anyone without a lock on the loop. The loop makes a new one
// whenever something shown changes (a file taken, its progress, an outcome, a pass
// completed) and publishes it on its DaemonMailbox.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "server/ConversionStats.h"

namespace vd {

// The outcomes a folder keeps for the status page, newest first.
inline constexpr std::size_t kKeptOutcomes = 200;

using WallTime = std::chrono::system_clock::time_point;
using SteadyTime = std::chrono::steady_clock::time_point;

// A file a lane (or the loop itself, with one lane) is converting now.
struct FileBeingConverted {
  std::string input;   // its path
  std::string output;  // the PDF it becomes
  std::size_t lane = 0;
  WallTime since{};
  // The engine's progress where it follows the document (a PostScript job): percent of
  // its input read and the page being made; -1 and 0 when it does not say.
  int percent = -1;
  int page = 0;
};

// The engine's progress on the file the loop converts in its own process, one at a time.
struct FileProgress {
  int percent = -1;
  int page = 0;
};

// A conversion that ended.
struct FileOutcome {
  WallTime finished{};
  std::string input;   // its path
  std::string output;  // the PDF; "" when none was made
  int pages = 0;       // 0 when not known
  double seconds = 0;
  // Why it failed; nothing when it was converted.
  std::optional<std::string> failure;
};

struct FolderStatus {
  // As the start-up line and the configuration name the folder.
  std::string name;
  std::string inputDir;
  std::string outputDir;
  int intervalSeconds = 5;
  // A paused folder is not listed.
  bool paused = false;
  // When the loop last completed a pass over it; nothing before the first. The steady time
  // tells how long ago, the wall time what to show.
  std::optional<SteadyTime> lastPass;
  std::optional<WallTime> lastPassWall;
  // Files listed and waiting for a lane.
  std::size_t filesWaiting = 0;
  std::vector<FileBeingConverted> inHand;
  // Newest first, at most kKeptOutcomes.
  std::deque<FileOutcome> outcomes;
};

// One lane and the worker programs behind it.
struct LaneStatus {
  bool busy = false;
  // What the lane's process is doing, in a word or two: "idle", "converting", "starting",
  // "ended" (not started yet, or gone and not replaced).
  std::string state;
};

struct DaemonStatus {
  std::string version;
  WallTime started{};
  SteadyTime startedSteady{};
  std::vector<FolderStatus> folders;
  std::vector<LaneStatus> lanes;
  // Set when no lane can start (its program missing, every start failing): why.
  std::optional<std::string> lanesCannotStart;
  // A stop was asked for: no more files are handed out, and no conversion is taken.
  bool stopping = false;
  ConversionStats stats;
  // Worker programs replaced because they died or passed a bound, by kind ("lane",
  // "interpreter", "office").
  std::map<std::string, std::uint64_t> workerRestarts;
  // Conversions asked for through a DaemonMailbox: in hand, and their outcomes (newest
  // first, at most kKeptOutcomes), under the names their senders gave.
  std::vector<FileBeingConverted> sentInHand;
  std::deque<FileOutcome> sentOutcomes;

  std::size_t lanesBusy() const {
    std::size_t busy = 0;
    for (const LaneStatus& lane : lanes) busy += lane.busy ? 1 : 0;
    return busy;
  }
};

// Puts an outcome at the front of a list kept for the status page, dropping the oldest
// past kKeptOutcomes.
inline void KeepOutcome(std::deque<FileOutcome>& outcomes, FileOutcome outcome) {
  outcomes.push_front(std::move(outcome));
  if (outcomes.size() > kKeptOutcomes) outcomes.pop_back();
}

}  // namespace vd
