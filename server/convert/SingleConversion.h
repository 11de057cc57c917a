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

// Text recognition of scanned pages, as the settings ask for it.
struct RecognitionSettings {
  std::string languages;  // "" for none
  bool turnUpright = false;
};

// logLine receives each "Unable to create PDF." of a script's failed entries, with its
// reason, and a line for each page that was to get text and did not.
ConversionOutcome ConvertOneFile(const std::string& output, const std::string& input, bool security,
                                 const RecognitionSettings& recognition,
                                 const std::function<void(const std::string&)>& logLine);

// The outcome as one JSON object: output, pages, bytes, seconds.
std::string OutcomeJson(const std::string& output, const ConversionOutcome& outcome);

}  // namespace vd::convert
