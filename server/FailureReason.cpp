#include "server/FailureReason.h"

#include "engine/EngineError.h"

namespace vd {

std::string FailureReason(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const EngineError*>(&error)) {
    return engineError->description() + " (error " + std::to_string(engineError->number()) + ", source " +
           engineError->source() + ")";
  }
  return error.what();
}

}  // namespace vd
