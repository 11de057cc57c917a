#include "outside/InterpreterConfinement.h"

#include <unistd.h>

#include <atomic>

#include "outside/ghostscript/GhostscriptRunner.h"
#include "outside/worker/WorkerProtocol.h"
#include "outside/worker/WorkerSpawn.h"

namespace vd {

std::string TakeInterpreterConfinementNotice() {
  static std::atomic<bool> taken{false};
  if (taken.exchange(true)) return "";
  // Both workers confine themselves alike: what one can, the other can. Without the
  // program there is nothing to confine (its jobs say that it is missing).
  const std::string program = GhostscriptWorkerPath();
  if (access(program.c_str(), X_OK) != 0) return "";
  const std::string problem = worker::confinementProblem(program);
  if (problem.empty()) return "";
  if (worker::confinementRequired()) {
    return "The kernel cannot confine the PostScript interpreter and the office suite (" + problem +
           "); with VELLUMDOCK_REQUIRE_CONFINEMENT=1 no document that needs them is converted.";
  }
  return "The PostScript interpreter and the office suite run unconfined: the kernel cannot confine them (" +
         problem + ").";
}

}  // namespace vd
