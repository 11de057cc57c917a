#include "platform/ProcessIdentity.h"

#include <fstream>
#include <sstream>

namespace vd {
namespace {

struct ProcessStat {
  char state = 0;
  std::string startTime;
};

ProcessStat readStat(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return {};
  // The command name may hold blanks and parentheses: the fields follow its last ")".
  const auto close = line.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(line.substr(close + 2));
  ProcessStat result;
  fields >> result.state;
  std::string field;
  // Field 22 of the line, the start time, is the 19th after the state.
  for (int i = 0; i < 19 && (fields >> field); ++i) {
  }
  if (fields) result.startTime = field;
  return result;
}

}  // namespace

std::string processStartTime(pid_t pid) { return readStat(pid).startTime; }

bool processRunning(pid_t pid, const std::string& startTime) {
  if (pid <= 0 || startTime.empty()) return false;
  const ProcessStat stat = readStat(pid);
  return stat.startTime == startTime && stat.state != 'Z' && stat.state != 'X';
}

}  // namespace vd
