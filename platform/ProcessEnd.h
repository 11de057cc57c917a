// A file move that must happen however the program ends while it is pending: at a normal
// exit, and at a termination signal (SIGTERM, SIGINT, SIGHUP, SIGQUIT) whose action was
// the default, before that action ends the process. It keeps a document that was set
// aside from staying hidden when the program is ended in the middle of replacing it.
#pragma once

#include <string>

#include "common/Seam.h"

namespace vd {

class ProcessEnd {
 public:
  virtual ~ProcessEnd() = default;
  // From now on, the end of the process moves `from` to `to` (replacing what is there).
  // One move is pending at a time: a new one takes the place of the last. False when the
  // move cannot be kept (a path too long for the fixed room a signal handler may use).
  virtual bool keepPendingMove(const std::string& from, const std::string& to) = 0;
  // The pending move is no longer needed.
  virtual void dropPendingMove() = 0;
};

template <>
ProcessEnd& Seam<ProcessEnd>::defaultInstance();
inline ProcessEnd& processEnd() { return Seam<ProcessEnd>::get(); }

}  // namespace vd
