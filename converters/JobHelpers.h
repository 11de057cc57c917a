// The helper programs a conversion starts (the keystroke helper, the text printer) end with
// it, however it ends: a keystroke helper still waiting for a dialog that never comes, or a
// text printer still typesetting a file whose wait has passed its bound, would otherwise
// run on for minutes after the job, and after the program.
#pragma once

namespace vd {

class JobHelpers {
 public:
  JobHelpers() = default;
  // Ends every helper started since, with what it started.
  ~JobHelpers();
  JobHelpers(const JobHelpers&) = delete;
  JobHelpers& operator=(const JobHelpers&) = delete;
};

}  // namespace vd
