// Starting a program the way a hidden command line was started: not waited for, without
// a shell. The argument text reaches the program as ONE argument, which the program parses
// itself; its output goes to /dev/null.
//
// A program started so belongs to the job that started it: it runs in a process group of
// its own, is killed by the system when the thread that started it ends (however it ends,
// SIGKILL included), and endAllStarted() ends it, with whatever it started in its group,
// when the job is over. So no helper outlives its job or its program, and none is left a
// zombie: each is reaped at the latest when the next one starts or the job ends.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "common/Seam.h"

namespace vd {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts program with argumentText as its only argument. False when the program could
  // not be started (missing, not executable).
  virtual bool startHidden(const std::string& program, const std::string& argumentText) = 0;

  // A program started by startWatched, for asking later whether it still runs. A pid of
  // 0 means a launcher that cannot tell: such a program counts as running.
  struct StartedProgram {
    pid_t pid = 0;
    std::string startTime;
  };
  // As startHidden, but the program's standard error goes to errorFile (created 0600,
  // replacing what was there); nothing when it could not be started.
  virtual std::optional<StartedProgram> startWatched(const std::string& program, const std::string& argumentText,
                                                     const std::string& /*errorFile*/) {
    if (!startHidden(program, argumentText)) return std::nullopt;
    return StartedProgram{};
  }
  virtual bool isRunning(const StartedProgram& /*started*/) { return true; }
  // Ends every program started here that still runs, with its process group, and reaps it.
  virtual void endAllStarted() {}
};

template <>
ProcessLauncher& Seam<ProcessLauncher>::defaultInstance();
inline ProcessLauncher& processLauncher() { return Seam<ProcessLauncher>::get(); }

}  // namespace vd
