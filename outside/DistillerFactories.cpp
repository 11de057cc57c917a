// Creation of the Distiller by name: both classes are the interpreter-backed stand-in,
// available when its worker program is installed in the helper folder.
#include "engine/AcrobatInterface.h"

#include <unistd.h>

#include "engine/EngineError.h"
#include "outside/distiller/GhostscriptDistiller.h"
#include "outside/ghostscript/GhostscriptRunner.h"

namespace vd {
namespace {

void requireWorker() {
  const std::string worker = GhostscriptWorkerPath();
  if (access(worker.c_str(), X_OK) != 0) {
    throw EngineError("Acrobat Distiller is not available: " + worker + " is missing.");
  }
}

}  // namespace

std::unique_ptr<DistillerObject> CreateDistiller() {
  requireWorker();
  return std::make_unique<GhostscriptDistiller>(false);
}

std::unique_ptr<DistillerObject> CreateSecureDistiller() {
  requireWorker();
  return std::make_unique<GhostscriptDistiller>(true);
}

}  // namespace vd
