// The program's icon, drawn from its scalable picture in every size a window needs.
#pragma once

#include <QIcon>

namespace vd {

QIcon ProgramIcon();

}  // namespace vd
