// Starting a program the way a hidden command line was started: detached, not waited
// for, without a shell. The argument text reaches the program as ONE argument, which the
// program parses itself; its output goes to /dev/null and it never becomes a zombie.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts program with argumentText as its only argument. False when the program could
  // not be started (missing, not executable).
  virtual bool startHidden(const std::string& program, const std::string& argumentText) = 0;
};

template <>
ProcessLauncher& Seam<ProcessLauncher>::defaultInstance();
inline ProcessLauncher& processLauncher() { return Seam<ProcessLauncher>::get(); }

}  // namespace vd
