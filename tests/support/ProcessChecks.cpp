#include "ProcessChecks.h"

#include <unistd.h>

#include <sstream>
#include <string>

#include "support/ContentChecks.h"

namespace vd::test {
namespace {

// The state letter of /proc/PID/stat and the parent's id; "" when the process is gone.
std::string stateOf(const std::string& pid, std::string* parent = nullptr) {
  const std::string path = "/proc/" + pid + "/stat";
  if (access(path.c_str(), R_OK) != 0) return {};
  const std::string stat = ReadBytes(path);
  const auto nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(stat.substr(nameEnd + 1));
  std::string state, parentId;
  fields >> state >> parentId;
  if (parent != nullptr) *parent = parentId;
  return state;
}

}  // namespace

std::size_t OpenDescriptors() { return DirectoryEntries("/proc/self/fd").size(); }

int ZombieChildren() {
  int zombies = 0;
  const std::string self = std::to_string(getpid());
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string parent;
    if (stateOf(pid, &parent) == "Z" && parent == self) ++zombies;
  }
  return zombies;
}

std::vector<pid_t> ChildrenStillRunning(double seconds) {
  const std::string self = std::to_string(getpid());
  std::vector<pid_t> running;
  for (double waited = 0;; waited += 0.05) {
    running.clear();
    for (const std::string& pid : DirectoryEntries("/proc")) {
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      std::string parent;
      const std::string state = stateOf(pid, &parent);
      if (parent == self && !state.empty() && state != "Z" && state != "X") running.push_back(std::stoi(pid));
    }
    if (running.empty() || waited >= seconds) return running;
    usleep(50000);
  }
}

bool ProcessEnds(pid_t pid, double seconds) {
  for (double waited = 0; waited <= seconds; waited += 0.02) {
    const std::string state = stateOf(std::to_string(pid));
    if (state.empty() || state == "Z" || state == "X") return true;
    usleep(20000);
  }
  return false;
}

}  // namespace vd::test
