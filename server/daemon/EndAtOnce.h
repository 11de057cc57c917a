// The end at once, on an operator's second SIGTERM or SIGINT: the conversions in hand are
// abandoned, not finished. Their inputs stay where they are, in the input folder, for the
// next start; what they had begun is undone: the lanes are ended (their workers with
// them), the half-written PDFs of the lanes and of this process are removed, and a PDF set
// aside for its replacement goes back under its own name.
#pragma once

#include <string>
#include <vector>

#include "server/ConversionLanes.h"
#include "server/ScanSettings.h"

namespace vd::daemon {

// Does the above for the folders served and ends the program with the given exit code;
// lanes may be null (one file at a time in this process). Never returns.
[[noreturn]] void EndAtOnce(ConversionLanes* lanes, const std::vector<ScanSettings>& folders, int exitCode);

}  // namespace vd::daemon
