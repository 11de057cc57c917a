// The daemon's counts in the text format monitoring systems scrape (Prometheus exposition
// format 0.0.4): conversions by converter and outcome, their seconds as a histogram, files
// waiting, lanes busy, worker restarts by kind, failed files kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "server/DaemonStatus.h"

namespace vd::http {

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// failedKept: by folder, the files its failed/ holds.
std::string MetricsText(const DaemonStatus& status, const std::vector<std::size_t>& failedKept);

}  // namespace vd::http
