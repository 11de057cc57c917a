// vellumdkd: the scan cycle of the window program without a window, for servers,
// containers and service managers. See DaemonHelpText for the options and exit codes.
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "common/Locations.h"
#include "common/Paths.h"
#include "outside/worker/WorkerLimits.h"
#include "server/DaemonMailbox.h"
#include "server/FailedFiles.h"
#include "server/FailureReason.h"
#include "server/FolderConfig.h"
#include "server/Options.h"
#include "server/ScanCycle.h"
#include "server/daemon/ConsoleObserver.h"
#include "server/daemon/DaemonOptions.h"
#include "server/daemon/DirectoryCheck.h"
#include "server/daemon/EndAtOnce.h"
#include "server/daemon/ExitCodes.h"
#include "server/daemon/LanePool.h"
#include "server/daemon/SentConversions.h"
#include "server/daemon/ServiceNotifications.h"
#include "server/daemon/StatusBoard.h"
#include "server/daemon/StopSignals.h"
#include "server/http/HttpServer.h"
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

// Carries out on the loop's thread what a client asked of a folder: a failed file put
// back, the folder paused or resumed.
void carryOutFolderRequest(vd::DaemonRequest& request, const std::vector<vd::ScanSettings>& folders,
                           vd::ScanCycle& cycle, vd::daemon::StatusBoard& board) {
  if (const auto* retry = std::get_if<vd::ReturnFailed>(&request.what())) {
    if (retry->folder >= folders.size()) return request.finish(vd::DaemonRequest::End::Refused, "There is no such folder.");
    try {
      vd::ReturnFailedFile(folders[retry->folder].inputDir, retry->name);
      request.finish(vd::DaemonRequest::End::Done);
    } catch (const std::exception& error) {
      request.finish(vd::DaemonRequest::End::Failed, vd::FailureReason(error));
    }
  } else if (const auto* pause = std::get_if<vd::PauseFolder>(&request.what())) {
    if (pause->folder >= folders.size()) return request.finish(vd::DaemonRequest::End::Refused, "There is no such folder.");
    cycle.setPaused(pause->folder, pause->paused);
    board.change([&](vd::DaemonStatus& status) { status.folders[pause->folder].paused = pause->paused; });
    request.finish(vd::DaemonRequest::End::Done);
  } else {
    request.finish(vd::DaemonRequest::End::Refused, "The scan loop takes no such request.");
  }
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
  std::optional<std::string> token;
  if (command.tokenFile) {
    std::string problem;
    token = vd::http::ReadAccessToken(*command.tokenFile, problem);
    if (!token) {
      WriteWholeLine(stderr, std::string(kProgram) + ": " + problem);
      return kExitUsage;
    }
  }
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
    // Documents sent over HTTP are converted in lanes too, whatever the folder's jobs.
    const std::string laneProgram = vd::helperDir() + "/" + vd::lane::kLaneProgram;
    if (jobs > 1 || command.listen) {
      // Without its lane program every file would end in failed/: better not to start.
      if (access(laneProgram.c_str(), X_OK) != 0) {
        WriteWholeLine(stderr, std::string(kProgram) + ": cannot run the lane program " + laneProgram + ": " +
                                   std::strerror(errno));
        return kExitFailure;
      }
    }
    if (jobs > 1) lanes = std::make_unique<LanePool>(jobs, laneProgram);
    vd::DaemonMailbox mailbox;
    StatusBoard board(observer, mailbox, folders, jobs, VD_VERSION);
    board.countLossesOf(lanes.get());
    const auto cycle = lanes ? std::make_unique<vd::ScanCycle>(settings, board, *lanes)
                             : std::make_unique<vd::ScanCycle>(settings, board, vd::defaultEngineFactory());
    cycle->wakeOnChanges();
    cycle->passAtStart();
    cycle->lightFilesFirst();
    // A folder another instance serves ends the run as such, whatever else this one would
    // have offered: its port may well be the other's too.
    if (const std::optional<vd::ScanCycle::End> refused = cycle->claim()) {
      WriteWholeLine(stderr, std::string(kProgram) + ": " + cycle->refusal());
      return *refused == vd::ScanCycle::End::FolderTaken ? kExitFolderTaken : kExitNoClaim;
    }
    std::unique_ptr<SentConversions> sent;
    std::unique_ptr<vd::http::HttpServer> server;
    if (command.listen) {
      QObject* loop = QCoreApplication::instance();
      sent = std::make_unique<SentConversions>(mailbox, board, jobs, laneProgram, settings.front(),
                                               [&, loop](std::shared_ptr<vd::DaemonRequest> request) {
                                                 // Carried out at the loop's next check point.
                                                 QMetaObject::invokeMethod(loop, [&, request] {
                                                   carryOutFolderRequest(*request, settings, *cycle, board);
                                                 }, Qt::QueuedConnection);
                                               });
      vd::http::HttpSettings http;
      http.address = *command.listen;
      http.token = token;
      http.maxUploadBytes = static_cast<std::uint64_t>(command.maxUploadMegabytes) << 20;
      http.lanes = jobs;
      // The bound the worker programs put on one job (VELLUMDOCK_JOB_TIMEOUT) is also how
      // long a client waits for its document, queue included.
      http.jobBound = std::chrono::seconds(
          static_cast<long long>(std::ceil(vd::WorkerLimits{}.overriddenByEnvironment().jobSeconds)));
      // Sent documents take the first folder's "Use security", the daemon's own where it
      // serves one folder.
      http.security = settings.front().security;
      server = std::make_unique<vd::http::HttpServer>(http, mailbox);
      server->start();
      log.writeLine(std::string(kProgram) + ": listening on " + server->url(), Priority::Info);
    }
    stopSignals.onStop([&] {
      notifications.stopping("Stopping after the files in hand.");
      board.change([](vd::DaemonStatus& status) { status.stopping = true; });
      cycle->requestStop();
    });
    stopSignals.onStopAtOnce([&] {
      errors.writeLine(std::string(kProgram) + ": ending at once; the files in hand stay in the input folder",
                       Priority::Notice);
      EndAtOnce(lanes.get(), settings, kExitStopped);
    });
    // The folders are claimed; the cycle processes no event before it scans.
    QTimer::singleShot(0, [&] {
      const std::string line = startupLine(folders, jobs);
      log.writeLine(line, Priority::Info);
      notifications.ready(line);
    });
    // Claimed already, it ends only once stopped.
    cycle->run();
    board.change([](vd::DaemonStatus& status) { status.stopping = true; });
    // Clients still waiting are answered before the lanes of their documents end.
    if (server) server->stop();
    if (sent) sent->stop();
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
