// What a lane (vellumdk-lane) reports to the daemon besides the worker machinery's frames.
#pragma once

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>

#include "server/FileConversion.h"

namespace vd::lane {

// The reason a conversion failed, sent before the job's end.
inline constexpr char kFailureReport = 'F';
// The PDF the lane checked whole, "PAGES BYTES", sent before a successful job's end: the
// daemon takes the lane's word and does not open the PDF again.
inline constexpr char kVerifiedReport = 'V';

inline std::string verifiedText(const VerifiedPdf& pdf) {
  return std::to_string(pdf.pages) + " " + std::to_string(pdf.bytes);
}

inline std::optional<VerifiedPdf> parseVerified(const std::string& text) {
  VerifiedPdf pdf;
  if (std::sscanf(text.c_str(), "%" SCNd32 " %" SCNu64, &pdf.pages, &pdf.bytes) != 2) return std::nullopt;
  return pdf;
}
// The job goes on: a script's next entry begins. Each entry is bounded on its own, so the
// daemon's bound on the lane counts from the latest sign of progress.
inline constexpr char kProgressReport = 'P';

// The lane program in the helper folder.
inline constexpr const char* kLaneProgram = "vellumdk-lane";

}  // namespace vd::lane
