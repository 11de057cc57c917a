#include "server/daemon/EndAtOnce.h"

#include <cstdio>
#include <cstdlib>

#include "common/ReplacementFile.h"
#include "server/FolderPasses.h"

namespace vd::daemon {

void EndAtOnce(ConversionLanes* lanes, const std::vector<ScanSettings>& folders, int exitCode) {
  // Ended and reaped first: a temporary is no one's once its writer is gone.
  if (lanes != nullptr) lanes->abandon();
  // This process's own conversion (one file at a time) is in a call further down the
  // stack, which never returns to finish it.
  RemoveOwnReplacementsBeforeExit();
  for (const ScanSettings& folder : folders) SettleLeftovers(folder);
  std::fflush(stdout);
  std::fflush(stderr);
  // Without unwinding: the stack below is in the middle of what was abandoned. The
  // interpreter and office workers of this process end with it (their parent-death signal).
  std::_Exit(exitCode);
}

}  // namespace vd::daemon
