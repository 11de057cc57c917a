// The program's title: the caption of its message boxes and the name of its settings.
#pragma once

namespace vd {

inline constexpr const char* kProgramTitle = "Vellumdock";

}  // namespace vd
