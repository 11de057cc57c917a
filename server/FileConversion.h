// One file converted and its outcome decided, by the same rules wherever a file is
// converted: the scan cycle of the window and of vellumdkd, a conversion lane, and
// vellumdk-convert. The dispatch runs; then the output must have been written, be a whole
// PDF with pages, or the conversion failed; what this conversion left that is no PDF goes.
// The outcome carries the pages it counted, so that nobody opens the PDF again to learn
// them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "server/Dispatch.h"

namespace vd {

// The output, checked whole.
struct VerifiedPdf {
  // 0 when an open password keeps them from being counted.
  std::int32_t pages = 0;
  std::uint64_t bytes = 0;
};

struct ConversionOutcome {
  // Why there is no PDF; nothing when there is one.
  std::optional<std::string> failure;
  // Set exactly when there is no failure.
  std::optional<VerifiedPdf> pdf;
  // A script run met a stop: nothing is decided, the script stays for the next start.
  bool stopFound = false;

  static ConversionOutcome failed(std::string reason) { return {std::move(reason), std::nullopt, false}; }
};

// engine may be null (it could not be made): the conversion then fails with that reason.
ConversionOutcome ConvertFile(CreatePDF* engine, const DispatchCall& call, const ScriptSurroundings& script);

}  // namespace vd
