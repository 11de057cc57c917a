// The engine's error policy for the cleanup of an operation: whatever went wrong reaches
// the caller as an EngineError with the program's title as source, keeping the number
// and description it had. Outside objects are released by their owners' destructors
// before the error leaves the operation.
#pragma once

namespace vd {

// Only inside a catch block: raises the error being handled again as an engine error.
[[noreturn]] void RaiseAgain();

}  // namespace vd
