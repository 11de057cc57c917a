// Looking at processes and descriptors: what a test checks to know that nothing was left
// behind (children never reaped, descriptors never closed, processes still running).
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/ContentChecks.h"

namespace vd::test {
namespace process {

// The state letter of /proc/PID/stat and the parent's id; "" when the process is gone.
inline std::pair<std::string, std::string> stateAndParentOf(const std::string& pid) {
  const std::string stat = ReadBytes("/proc/" + pid + "/stat");
  const auto nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(stat.substr(nameEnd + 1));
  std::string state, parent;
  fields >> state >> parent;
  return {state, parent};
}

inline bool ended(const std::string& state) { return state.empty() || state == "Z" || state == "X"; }

// Each child of this process with its state letter.
inline std::vector<std::pair<pid_t, std::string>> children() {
  const std::string self = std::to_string(getpid());
  std::vector<std::pair<pid_t, std::string>> found;
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto [state, parent] = stateAndParentOf(pid);
    if (parent == self) found.emplace_back(std::stoi(pid), state);
  }
  return found;
}

}  // namespace process

// Descriptors this process holds open.
inline std::size_t OpenDescriptors() { return DirectoryEntries("/proc/self/fd").size(); }

// Children of this process that ended and were never reaped.
inline int ZombieChildren() {
  int zombies = 0;
  for (const auto& [pid, state] : process::children()) zombies += state == "Z";
  return zombies;
}

// Processor time (clock ticks) the processes of a process group have used so far: a sign
// that they are at work on what they were given.
inline long GroupProcessorTicks(pid_t group) {
  long ticks = 0;
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadBytes("/proc/" + pid + "/stat");
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) continue;
    // After the name: state, parent, group, ..., user time (the 12th) and system time.
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::vector<std::string> field;
    for (std::string value; fields >> value;) field.push_back(value);
    if (field.size() > 12 && std::stol(field[2]) == group) ticks += std::stol(field[11]) + std::stol(field[12]);
  }
  return ticks;
}

// Children of this process that still run, waiting up to the given seconds for them to end.
inline std::vector<pid_t> ChildrenStillRunning(double seconds = 5) {
  for (double waited = 0;; waited += 0.05) {
    std::vector<pid_t> running;
    for (const auto& [pid, state] : process::children()) {
      if (!process::ended(state)) running.push_back(pid);
    }
    if (running.empty() || waited >= seconds) return running;
    usleep(50000);
  }
}

// True once pid runs no more (gone, or ended and waiting for its parent), waiting up to
// the given seconds for it.
inline bool ProcessEnds(pid_t pid, double seconds = 2) {
  for (double waited = 0; waited <= seconds; waited += 0.02) {
    if (process::ended(process::stateAndParentOf(std::to_string(pid)).first)) return true;
    usleep(20000);
  }
  return false;
}

}  // namespace vd::test
