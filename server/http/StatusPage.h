// The status page an operator opens in a browser: per folder the files in hand with their
// progress, the files kept in failed/ with their reasons and a Retry button, the last
// outcomes, and pausing or resuming the folder. Plain HTML and CSS in one answer: nothing
// loaded from elsewhere, no script, a refresh every few seconds, readable on a phone.
// Every name and reason on it is escaped (HtmlText).
#pragma once

#include <string>
#include <vector>

#include "server/DaemonStatus.h"
#include "server/FailedFiles.h"
#include "server/http/HealthReport.h"

namespace vd::http {

// The failed files the page lists per folder; the count says how many there are in all.
inline constexpr std::size_t kFailedFilesShown = 200;
inline constexpr int kPageRefreshSeconds = 5;

struct PageContext {
  HealthVerdict health;
  // By folder, its failed files.
  std::vector<FailedFiles> failed;
  // The value the forms carry to prove they came from this page (see HttpServer).
  std::string formToken;
  WallTime now{};
  // A line to show at the top: what a form just did, or why it could not.
  std::string notice;
};

std::string StatusPage(const DaemonStatus& status, const PageContext& context);

}  // namespace vd::http
