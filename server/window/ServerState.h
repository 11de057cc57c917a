// The main window's own state fields, shared by start-up and the commands.
#pragma once

#include <cstdint>
#include <string>

#include "common/ProgramTitle.h"

namespace vd {

struct ServerState {
  std::string ProgramDir;
  std::string InputDir;
  std::string OutputDir;
  std::int16_t Seconds = 0;
  std::string WinCaption;
  bool Loading = false;
  // Text recognition of scanned pages, from the settings file only (no control shows it).
  std::string ocrLanguages;
  bool ocrRotate = false;
};

}  // namespace vd
