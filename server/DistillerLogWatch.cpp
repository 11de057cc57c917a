#include "server/DistillerLogWatch.h"

#include <utility>

#include "common/IgnoringErrors.h"
#include "outside/distiller/GhostscriptDistiller.h"

namespace vd {

DistillerLogWatch::DistillerLogWatch(std::string pdf)
    : pdf_(std::move(pdf)), log_(GhostscriptDistiller::LogPathFor(pdf_)), logBefore_(fileSystem().stamp(log_)) {}

std::optional<std::string> DistillerLogWatch::failure(const std::string& input) const {
  if (fileSystem().entryExists(pdf_)) return std::nullopt;
  const std::optional<FileStamp> logNow = fileSystem().stamp(log_);
  if (!logNow || logNow == logBefore_) return std::nullopt;
  std::string text;
  ignoringErrors([&] { text = fileSystem().readFile(log_); });
  const std::string why = GhostscriptDistiller::FailureInLog(text);
  return "The Distiller made no PDF of " + input + (why.empty() ? std::string() : ": " + why) + " (see " + log_ + ").";
}

}  // namespace vd
