#include "converters/JobHelpers.h"

#include "common/IgnoringErrors.h"
#include "platform/ProcessLauncher.h"

namespace vd {

// A printer ended in the middle of a job leaves its hidden temporary beside the output;
// it is not swept here, where other lanes may be writing theirs: the next start settles it.
JobHelpers::~JobHelpers() {
  ignoringErrors([] { processLauncher().endAllStarted(); });
}

}  // namespace vd
