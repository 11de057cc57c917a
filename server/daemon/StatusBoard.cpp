#include "server/daemon/StatusBoard.h"

#include <algorithm>
#include <chrono>

#include "common/Paths.h"
#include "server/Dispatch.h"
#include "server/PathNames.h"

namespace vd::daemon {

StatusBoard::StatusBoard(ScanObserver& console, DaemonMailbox& mailbox, const std::vector<WatchedFolder>& folders,
                         std::size_t lanes, std::string version)
    : console_(console), mailbox_(mailbox), cycleLanes_(std::max<std::size_t>(lanes, 1)) {
  status_.version = std::move(version);
  status_.started = std::chrono::system_clock::now();
  status_.startedSteady = std::chrono::steady_clock::now();
  for (const WatchedFolder& folder : folders) {
    FolderStatus shown;
    shown.name = folder.name.empty() ? folder.settings.inputDir : folder.name;
    shown.inputDir = folder.settings.inputDir;
    shown.outputDir = folder.settings.outputDir;
    // A folder without an interval is listed again at once: a pass is due every second.
    shown.intervalSeconds = std::max<int>(folder.settings.seconds, 1);
    status_.folders.push_back(std::move(shown));
  }
  status_.lanes.assign(cycleLanes_, LaneStatus{false, "idle"});
  mailbox_.publish(status_);
}

void StatusBoard::change(const std::function<void(DaemonStatus&)>& edit) {
  const std::lock_guard lock(mutex_);
  edit(status_);
  mailbox_.publish(status_);
}

void StatusBoard::sentLanesLost(std::uint64_t lost) {
  const std::lock_guard lock(mutex_);
  if (lost == sentLost_) return;
  sentLost_ = lost;
  showLosses(status_);
  mailbox_.publish(status_);
}

void StatusBoard::showLosses(DaemonStatus& status) const {
  if (cycleLost_ + sentLost_ > 0) status.workerRestarts["lane"] = cycleLost_ + sentLost_;
}

void StatusBoard::passStarted(std::size_t folder) {
  console_.passStarted(folder);
  const std::lock_guard lock(mutex_);
  passFolder_ = folder;
}

void StatusBoard::filesListed(const std::vector<std::string>& names) {
  console_.filesListed(names);
  change([&](DaemonStatus& status) { status.folders[passFolder_].filesWaiting = names.size(); });
}

std::size_t StatusBoard::folderOfInput(const DaemonStatus& status, const std::string& input) const {
  for (std::size_t k = 0; k < status.folders.size(); ++k) {
    for (const FileBeingConverted& file : status.folders[k].inHand) {
      if (file.input == input) return k;
    }
  }
  for (std::size_t k = 0; k < status.folders.size(); ++k) {
    if (folderOf(input) == status.folders[k].inputDir) return k;
  }
  return 0;
}

void StatusBoard::fileTaken(std::size_t folderIndex, std::size_t lane, const std::string& input,
                            const std::string& output) {
  console_.fileTaken(folderIndex, lane, input, output);
  change([&](DaemonStatus& status) {
    if (folderIndex >= status.folders.size()) return;
    FolderStatus& folder = status.folders[folderIndex];
    if (folder.filesWaiting > 0) --folder.filesWaiting;
    // Taken again: it stayed from an earlier pass, written to while it was converted.
    std::erase_if(folder.inHand, [&](const FileBeingConverted& file) { return file.input == input; });
    folder.inHand.push_back({input, output, lane, std::chrono::system_clock::now()});
    progress_ = FileProgress{};
    if (lane < cycleLanes_) status.lanes[lane] = {true, "converting"};
  });
}

void StatusBoard::fileConverted(const std::string& input, const std::string& output, int pages) {
  console_.fileConverted(input, output, pages);
  ended(input, output, pages, std::nullopt);
}

void StatusBoard::fileFailed(const std::string& input, const std::string& reason) {
  console_.fileFailed(input, reason);
  ended(input, "", 0, reason);
}

void StatusBoard::ended(const std::string& input, const std::string& output, int pages,
                        std::optional<std::string> failure) {
  const WallTime now = std::chrono::system_clock::now();
  const std::uint64_t lost = lanesOfCycle_ != nullptr ? lanesOfCycle_->lost() : 0;
  change([&](DaemonStatus& status) {
    cycleLost_ = lost;
    showLosses(status);
    FolderStatus& folder = status.folders[folderOfInput(status, input)];
    const auto file = std::find_if(folder.inHand.begin(), folder.inHand.end(),
                                   [&](const FileBeingConverted& held) { return held.input == input; });
    double seconds = 0;
    if (file != folder.inHand.end()) {
      seconds = std::chrono::duration<double>(now - file->since).count();
      if (file->lane < cycleLanes_) status.lanes[file->lane] = {false, "idle"};
      folder.inHand.erase(file);
    }
    status.stats.record(ConverterName(GetExtension(fileNameOf(input))), !failure, std::max(seconds, 0.0));
    KeepOutcome(folder.outcomes, {now, input, output, pages, seconds, std::move(failure)});
  });
}

void StatusBoard::passCompleted(std::size_t folderIndex) {
  console_.passCompleted(folderIndex);
  change([&](DaemonStatus& status) {
    if (folderIndex >= status.folders.size()) return;
    FolderStatus& folder = status.folders[folderIndex];
    folder.lastPass = std::chrono::steady_clock::now();
    folder.lastPassWall = std::chrono::system_clock::now();
    // Its files are handed out or converted; one that must wait for another is listed again
    // by a later pass.
    folder.filesWaiting = 0;
  });
}

void StatusBoard::percentDone(int percent) {
  console_.percentDone(percent);
  const std::lock_guard lock(mutex_);
  progress_.percent = percent;
  showProgress();
}

void StatusBoard::pageReached(int page) {
  console_.pageReached(page);
  const std::lock_guard lock(mutex_);
  progress_.page = page;
  showProgress();
}

void StatusBoard::showProgress() {
  // Reported one file at a time only, the file in hand then being the only one. Kept here
  // for the next whole status; the mailbox copies it into the one it shows when asked.
  for (FolderStatus& folder : status_.folders) {
    for (FileBeingConverted& file : folder.inHand) {
      file.percent = progress_.percent;
      file.page = progress_.page;
    }
  }
  mailbox_.publishProgress(progress_);
}

}  // namespace vd::daemon
