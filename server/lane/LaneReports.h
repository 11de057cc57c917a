// What a lane (vellumdk-lane) reports to the daemon besides the worker machinery's frames.
#pragma once

namespace vd::lane {

// The reason a conversion failed, sent before the job's end.
inline constexpr char kFailureReport = 'F';
// The job goes on: a script's next entry begins. Each entry is bounded on its own, so the
// daemon's bound on the lane counts from the latest sign of progress.
inline constexpr char kProgressReport = 'P';

// The lane program in the helper folder.
inline constexpr const char* kLaneProgram = "vellumdk-lane";

}  // namespace vd::lane
