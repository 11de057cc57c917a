// vellumdkd: the scan cycle of the window program without a window, for servers,
// containers and service managers. See DaemonHelpText for the options and exit codes.
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "common/Locations.h"
#include "common/Paths.h"
#include "server/Options.h"
#include "server/ScanCycle.h"
#include "server/daemon/ConsoleObserver.h"
#include "server/daemon/DaemonOptions.h"
#include "server/daemon/DirectoryCheck.h"
#include "server/daemon/ExitCodes.h"
#include "server/daemon/LanePool.h"
#include "server/daemon/StopSignals.h"
#include "server/lane/LaneReports.h"

namespace {

constexpr const char* kProgram = "vellumdkd";

int runDaemon(const vd::daemon::DaemonCommand& command) {
  using namespace vd::daemon;
  std::vector<vd::UnreadableSetting> unreadable;
  vd::ScanSettings settings = ApplyOverrides(vd::StoredScanSettings(&unreadable), command.overrides);
  // Relative folders (given here or stored) mean the folder the daemon was started in; the
  // converters hand paths to helpers that run elsewhere.
  settings.inputDir = vd::absolutePath(settings.inputDir);
  settings.outputDir = vd::absolutePath(settings.outputDir);
  for (const vd::UnreadableSetting& setting : unreadable) {
    const vd::daemon::ScanOverrides& overrides = command.overrides;
    const bool overridden = (setting.key == vd::option::Seconds && overrides.seconds) ||
                            (setting.key == vd::option::Overwrite && overrides.overwrite) ||
                            (setting.key == vd::option::Security && overrides.security);
    if (overridden) continue;
    const std::string usedInstead = setting.key == vd::option::Seconds ? std::to_string(settings.seconds) : "0 (clear)";
    WriteWholeLine(stderr, std::string(kProgram) + ": " + vd::DescribeUnreadableSetting(setting, usedInstead));
  }
  for (const auto& [path, use] : {std::pair{settings.inputDir, DirectoryUse::Scan},
                                  std::pair{settings.outputDir, DirectoryUse::Write}}) {
    if (const std::optional<std::string> problem = DirectoryProblem(path, use)) {
      WriteWholeLine(stderr, std::string(kProgram) + ": " + (use == DirectoryUse::Scan ? "input" : "output") +
                                 " directory " + *problem);
      return kExitBadDirectory;
    }
  }
  try {
    StopSignals stopSignals;
    ConsoleObserver observer(stdout, stderr, kProgram);
    const std::size_t jobs = command.jobs ? static_cast<std::size_t>(*command.jobs) : DefaultLaneCount();
    // One job is the window's own cycle, in this process; more go to lanes.
    std::unique_ptr<LanePool> lanes;
    if (jobs > 1) {
      // Without its lane program every file would end in failed/: better not to start.
      const std::string laneProgram = vd::helperDir() + "/" + vd::lane::kLaneProgram;
      if (access(laneProgram.c_str(), X_OK) != 0) {
        WriteWholeLine(stderr, std::string(kProgram) + ": cannot run the lane program " + laneProgram + ": " +
                                   std::strerror(errno));
        return kExitFailure;
      }
      lanes = std::make_unique<LanePool>(jobs, laneProgram);
    }
    const auto cycle = lanes ? std::make_unique<vd::ScanCycle>(settings, observer, *lanes)
                             : std::make_unique<vd::ScanCycle>(settings, observer, vd::defaultEngineFactory());
    stopSignals.onStop([&cycle] { cycle->requestStop(); });
    if (const vd::ScanCycle::End end = cycle->run(); end != vd::ScanCycle::End::Stopped) {
      WriteWholeLine(stderr, std::string(kProgram) + ": " + cycle->refusal());
      return end == vd::ScanCycle::End::FolderTaken ? kExitFolderTaken : kExitNoClaim;
    }
  } catch (const std::exception& error) {
    WriteWholeLine(stderr, std::string(kProgram) + ": " + error.what());
    return kExitFailure;
  }
  return kExitStopped;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vd::daemon;
  vd::makeLocationVariablesAbsolute();
  QCoreApplication application(argc, argv);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const DaemonCommand command = ParseDaemonCommand(arguments);
  switch (command.action) {
    case DaemonCommand::Action::Help:
      std::fputs(DaemonHelpText().c_str(), stdout);
      return 0;
    case DaemonCommand::Action::Version:
      std::printf("%s (Vellumdock) %s\n", kProgram, VD_VERSION);
      return 0;
    case DaemonCommand::Action::Usage:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, command.problem.c_str(),
                   kProgram);
      return kExitUsage;
    case DaemonCommand::Action::Run:
      break;
  }
  return runDaemon(command);
}
