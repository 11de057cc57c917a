// One conversion through the scan cycle's dispatch, outside any cycle: the input is
// checked first, the output afterwards (it must be a complete PDF with pages), and a
// partial output this run created is removed again. The input is never touched.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vd::convert {

struct ConversionOutcome {
  int exitCode = 0;
  // For a failure: what went wrong, an operator's sentence.
  std::string problem;
  std::int32_t pages = 0;
  std::uint64_t bytes = 0;
  double seconds = 0;
};

// logFailure receives each "Unable to create PDF." of a script's failed entries.
ConversionOutcome ConvertOneFile(const std::string& output, const std::string& input, bool security,
                                 const std::function<void(const std::string&)>& logLine);

// The outcome as one JSON object: output, pages, bytes, seconds.
std::string OutcomeJson(const std::string& output, const ConversionOutcome& outcome);

}  // namespace vd::convert
