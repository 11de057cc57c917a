// Reading the environment: settings an operator or a test gives a running program without
// a settings file (directories, bounds, timeouts).
#pragma once

#include <string>

namespace vd {

// The variable's text; "" when it is not set.
std::string environmentText(const char* name);
// The variable as a positive number of seconds, megabytes, ...: a plain decimal number,
// spaces around it allowed. Anything else (unset, empty, "0", "-1", "5s", "inf", "0x10")
// gives the fallback, so a mistyped bound never becomes no bound.
double positiveEnvironmentNumber(const char* name, double fallback);

}  // namespace vd
