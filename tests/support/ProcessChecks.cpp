#include "ProcessChecks.h"

#include <unistd.h>

#include <sstream>
#include <string>
#include <utility>

#include "support/ContentChecks.h"

namespace vd::test {
namespace {

// The state letter of /proc/PID/stat and the parent's id; "" when the process is gone.
std::pair<std::string, std::string> stateAndParentOf(const std::string& pid) {
  const std::string stat = ReadBytes("/proc/" + pid + "/stat");
  const auto nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(stat.substr(nameEnd + 1));
  std::string state, parent;
  fields >> state >> parent;
  return {state, parent};
}

bool ended(const std::string& state) { return state.empty() || state == "Z" || state == "X"; }

// Each child of this process with its state letter.
std::vector<std::pair<pid_t, std::string>> children() {
  const std::string self = std::to_string(getpid());
  std::vector<std::pair<pid_t, std::string>> found;
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto [state, parent] = stateAndParentOf(pid);
    if (parent == self) found.emplace_back(std::stoi(pid), state);
  }
  return found;
}

}  // namespace

std::size_t OpenDescriptors() { return DirectoryEntries("/proc/self/fd").size(); }

int ZombieChildren() {
  int zombies = 0;
  for (const auto& [pid, state] : children()) zombies += state == "Z";
  return zombies;
}

std::vector<pid_t> ChildrenStillRunning(double seconds) {
  std::vector<pid_t> running;
  for (double waited = 0;; waited += 0.05) {
    running.clear();
    for (const auto& [pid, state] : children()) {
      if (!ended(state)) running.push_back(pid);
    }
    if (running.empty() || waited >= seconds) return running;
    usleep(50000);
  }
}

bool ProcessEnds(pid_t pid, double seconds) {
  for (double waited = 0; waited <= seconds; waited += 0.02) {
    if (ended(stateAndParentOf(std::to_string(pid)).first)) return true;
    usleep(20000);
  }
  return false;
}

}  // namespace vd::test
