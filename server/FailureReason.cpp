#include "server/FailureReason.h"

#include <algorithm>

#include "common/EngineError.h"

namespace vd {

std::string FailureReason(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const EngineError*>(&error)) {
    return engineError->description() + " (error " + std::to_string(engineError->number()) + ", source " +
           engineError->source() + ")";
  }
  return error.what();
}

std::string ReasonLine(const std::string& reason) {
  std::string line = kReasonPrefix + reason;
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

}  // namespace vd
