// The main window's own state fields, shared by start-up, the commands and the scan cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/CreatePDF.h"

namespace vd {

inline constexpr const char* kProgramTitle = "Vellumdock";

// Makes the conversion engine; tests hand in one that records its calls.
using EngineFactory = std::function<std::unique_ptr<CreatePDF>()>;
EngineFactory defaultEngineFactory();

struct ServerState {
  std::string ProgramDir;
  std::string InputDir;
  std::string OutputDir;
  std::int16_t Seconds = 0;
  std::string WinCaption;
  bool StopRequested = false;
  bool Loading = false;
  std::unique_ptr<CreatePDF> Engine;
  // True from the set-up of a scan cycle until its stop has been carried out.
  bool Scanning = false;
};

}  // namespace vd
