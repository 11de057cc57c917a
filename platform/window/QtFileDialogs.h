// The file dialogs as Qt dialogs, owned by the active window of the program. The program
// with windows installs them in place of the core's realisation, which answers nothing.
#pragma once

#include "platform/FileDialogs.h"

namespace vd {

class QtFileDialogs : public FileDialogs {
 public:
  std::string saveFileName(const SaveFileQuestion& question) override;
};

}  // namespace vd
