// vellumdkd: the scan cycle of the window program without a window, for servers,
// containers and service managers. See DaemonHelpText for the options and exit codes.
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/Locations.h"
#include "common/Paths.h"
#include "server/FolderConfig.h"
#include "server/Options.h"
#include "server/ScanCycle.h"
#include "server/daemon/ConsoleObserver.h"
#include "server/daemon/DaemonOptions.h"
#include "server/daemon/DirectoryCheck.h"
#include "server/daemon/EndAtOnce.h"
#include "server/daemon/ExitCodes.h"
#include "server/daemon/LanePool.h"
#include "server/daemon/ServiceNotifications.h"
#include "server/daemon/StopSignals.h"
#include "server/lane/LaneReports.h"

namespace {

constexpr const char* kProgram = "vellumdkd";

// The first line of a run, and the service manager's status while it runs.
std::string startupLine(const std::vector<vd::WatchedFolder>& folders, std::size_t jobs) {
  std::string line = std::string(kProgram) + " " + VD_VERSION + ": ";
  for (std::size_t k = 0; k < folders.size(); ++k) {
    const vd::ScanSettings& folder = folders[k].settings;
    line += (k == 0 ? "" : "; ") + (folders[k].name.empty() ? std::string() : "[" + folders[k].name + "] ") +
            "scanning " + folder.inputDir + " for PDFs in " + folder.outputDir + " every " +
            std::to_string(folder.seconds) + " s (" + (folder.overwrite ? "overwrite" : "number") + " existing PDFs, " +
            (folder.security ? "with" : "no") + " security" +
            (folder.ocrLanguages.empty() ? std::string() : ", text recognised in " + folder.ocrLanguages) + ")";
  }
  return line + ", " + (jobs > 1 ? std::to_string(jobs) + " lanes" : std::string("one file at a time")) + ".";
}

// The folders of the stored settings with the command line's overrides laid over them.
std::vector<vd::WatchedFolder> storedFolder(const vd::daemon::DaemonCommand& command) {
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
                            (setting.key == vd::option::Security && overrides.security) ||
                            (setting.key == vd::option::OCR && overrides.ocrLanguages);
    if (overridden) continue;
    const std::string usedInstead = setting.key == vd::option::Seconds ? std::to_string(settings.seconds)
                                    : setting.key == vd::option::OCR   ? "\"\" (no text recognition)"
                                                                       : "0 (clear)";
    WriteWholeLine(stderr, std::string(kProgram) + ": " + vd::DescribeUnreadableSetting(setting, usedInstead),
                   Priority::Warning);
  }
  return {vd::WatchedFolder{std::string(), settings}};
}

// The folders of a configuration file; nothing, with the reason written out, when it cannot
// be read or a line is wrong.
std::optional<std::vector<vd::WatchedFolder>> configuredFolders(const std::string& file) {
  using vd::daemon::WriteWholeLine;
  std::ifstream stream(file, std::ios::binary);
  if (!stream.is_open()) {
    WriteWholeLine(stderr, std::string(kProgram) + ": cannot read the configuration " + file + ": " + std::strerror(errno));
    return std::nullopt;
  }
  std::ostringstream text;
  text << stream.rdbuf();
  const std::string base = std::filesystem::absolute(file).parent_path().string();
  vd::FolderConfig config = vd::ParseFolderConfig(text.str(), base);
  if (config.problem) {
    WriteWholeLine(stderr, std::string(kProgram) + ": " + file +
                               (config.problem->line > 0 ? ":" + std::to_string(config.problem->line) : std::string()) +
                               ": " + config.problem->problem);
    return std::nullopt;
  }
  return std::move(config.folders);
}

int runDaemon(const vd::daemon::DaemonCommand& command) {
  using namespace vd::daemon;
  std::vector<vd::WatchedFolder> folders;
  if (command.configFile) {
    std::optional<std::vector<vd::WatchedFolder>> configured = configuredFolders(*command.configFile);
    if (!configured) return kExitUsage;
    folders = std::move(*configured);
  } else {
    folders = storedFolder(command);
  }
  std::vector<vd::ScanSettings> settings;
  for (const vd::WatchedFolder& folder : folders) {
    for (const auto& [path, use] : {std::pair{folder.settings.inputDir, DirectoryUse::Scan},
                                    std::pair{folder.settings.outputDir, DirectoryUse::Write}}) {
      if (const std::optional<std::string> problem = DirectoryProblem(path, use)) {
        WriteWholeLine(stderr, std::string(kProgram) + ": " + (use == DirectoryUse::Scan ? "input" : "output") +
                                   " directory " + *problem);
        return kExitBadDirectory;
      }
    }
    settings.push_back(folder.settings);
  }
  // Before any lane is started: what the service manager asks of this process is not
  // handed down to them.
  ServiceNotifications notifications;
  try {
    StopSignals stopSignals;
    const ConsoleStream log(stdout);
    const ConsoleStream errors(stderr);
    ConsoleObserver observer(log, errors, kProgram);
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
    cycle->wakeOnChanges();
    stopSignals.onStop([&] {
      notifications.stopping("Stopping after the files in hand.");
      cycle->requestStop();
    });
    stopSignals.onStopAtOnce([&] {
      errors.writeLine(std::string(kProgram) + ": ending at once; the files in hand stay in the input folder",
                       Priority::Notice);
      EndAtOnce(lanes.get(), settings, kExitStopped);
    });
    // The cycle processes no event before its folder is claimed: the first one finds it
    // claimed and scanning.
    QTimer::singleShot(0, [&] {
      const std::string line = startupLine(folders, jobs);
      log.writeLine(line, Priority::Info);
      notifications.ready(line);
    });
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
