// The daemon's health as a monitoring system or a service manager's probe asks for it:
// healthy while every folder not paused has had a pass completed within three of its
// intervals and the lanes can start. The judgement is made on the serving thread with its
// own clock, so a loop that hangs shows as one that stopped passing.
#pragma once

#include <string>
#include <vector>

#include "server/DaemonStatus.h"

namespace vd::http {

// How many intervals without a completed pass make a folder's loop count as stuck.
inline constexpr int kMissedPassesAllowed = 3;

struct HealthVerdict {
  bool healthy = true;
  // Why not, one sentence each.
  std::vector<std::string> problems;
};

HealthVerdict JudgeHealth(const DaemonStatus& status, SteadyTime now);

// The JSON answer to GET /health: status, version, folders and their claims, lanes busy
// and idle, each lane's state, the time of each folder's last completed pass.
std::string HealthJson(const DaemonStatus& status, const HealthVerdict& verdict, SteadyTime now);

// A time as the JSON answers give it: "2024-05-01T12:00:00Z".
std::string IsoTime(WallTime time);

}  // namespace vd::http
