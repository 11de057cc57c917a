// What a lane (vellumdk-lane) reports to the daemon besides the worker machinery's frames.
#pragma once

namespace vd::lane {

// The reason a conversion failed, sent before the job's end.
inline constexpr char kFailureReport = 'F';

// The lane program in the helper folder.
inline constexpr const char* kLaneProgram = "vellumdk-lane";

}  // namespace vd::lane
