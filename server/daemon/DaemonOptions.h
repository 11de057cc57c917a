// The command line of vellumdkd: what it asks for, and the overrides it lays over the
// settings of the store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/ScanSettings.h"
#include "server/http/ListenAddress.h"

namespace vd::daemon {

struct ScanOverrides {
  std::optional<std::string> inputDir;
  std::optional<std::string> outputDir;
  std::optional<std::int16_t> seconds;
  std::optional<bool> overwrite;
  std::optional<bool> security;
  // Text recognition's languages; "" turns it off.
  std::optional<std::string> ocrLanguages;
};

struct DaemonCommand {
  enum class Action { Run, Help, Version, Usage };
  Action action = Action::Run;
  ScanOverrides overrides;
  // Files converted at once (--jobs); nothing for the machine's default.
  std::optional<int> jobs;
  // Where to serve the status page, health, metrics and conversions (--listen); nothing
  // serves none. A token file is required for an address that is not loopback.
  std::optional<http::ListenAddress> listen;
  std::optional<std::string> tokenFile;
  int maxUploadMegabytes = 100;
  // The file naming the folders to serve (--config), in place of the stored settings.
  std::optional<std::string> configFile;
  // For Usage: what is wrong with the command line.
  std::string problem;
};

// The arguments after the program name.
DaemonCommand ParseDaemonCommand(const std::vector<std::string>& arguments);

// The settings as stored with the overrides laid over them. An interval below one second
// (a value the store could not give) becomes the window's own fallback of 5 seconds: a
// service must not spin without pausing.
ScanSettings ApplyOverrides(ScanSettings stored, const ScanOverrides& overrides);

std::string DaemonHelpText();

}  // namespace vd::daemon
