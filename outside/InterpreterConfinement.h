// Whether the kernel confines the interpreters of untrusted documents: the PostScript
// interpreter's and the office suite's workers (outside/worker/Confinement.h), which every
// PostScript, text and office document and every WMF or EMF picture goes through.
#pragma once

#include <string>

namespace vd {

// The first call in a process says, as a line for the log, when the kernel cannot confine
// them, why not, and what follows (they run unconfined, or with
// VELLUMDOCK_REQUIRE_CONFINEMENT=1 they run nothing); "" when they are confined. Later calls
// return "": the log says it once.
std::string TakeInterpreterConfinementNotice();

}  // namespace vd
