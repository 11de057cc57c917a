// Operations whose converter is not part of this build raise an engine error that names
// the operation, so the scan cycle logs it and keeps the input in failed/.
#pragma once

#include <string>

#include "common/EngineError.h"

namespace vd {

[[noreturn]] inline void RaiseNotAvailable(const std::string& operation) {
  throw EngineError(operation + " is not available in this build of Vellumdock.");
}

}  // namespace vd
