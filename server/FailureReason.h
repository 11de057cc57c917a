// The reason a conversion failed, as the log, failed/ and the console give it.
#pragma once

#include <exception>
#include <string>

namespace vd {

// An engine error's description with its number and source; any other error's message.
std::string FailureReason(const std::exception& error);

// The log line after "Unable to create PDF." that says why, on one line.
inline constexpr const char* kReasonPrefix = "Reason: ";
std::string ReasonLine(const std::string& reason);

}  // namespace vd
