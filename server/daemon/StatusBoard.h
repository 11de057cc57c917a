// What vellumdkd shows of itself while it runs: the scan cycle's reports, passed on to the
// console as before, kept as the daemon's status (its folders, the files in hand and their
// lanes, the outcomes, counts by converter) and published on the mailbox after each change,
// for the HTTP server to read on its own threads.
//
// The cycle's reports arrive on the loop's thread; the conversions sent over HTTP change
// their part of the status from the thread that runs them, through change().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "server/DaemonMailbox.h"
#include "server/DaemonStatus.h"
#include "server/FolderConfig.h"
#include "server/ScanObserver.h"
#include "server/ScanSettings.h"
#include "server/daemon/LanePool.h"

namespace vd::daemon {

class StatusBoard : public ScanObserver {
 public:
  // Publishes the first status at once: the folders as configured (in the cycle's order)
  // and the cycle's lanes idle.
  StatusBoard(ScanObserver& console, DaemonMailbox& mailbox, const std::vector<WatchedFolder>& folders,
              std::size_t lanes, std::string version);

  // Any thread: changes the status and publishes it.
  void change(const std::function<void(DaemonStatus&)>& edit);
  // The lanes of the cycle, whose losses are shown as worker restarts; read on the loop's
  // thread only, as the cycle uses them.
  void countLossesOf(const LanePool* lanes) { lanesOfCycle_ = lanes; }
  // The losses of the lanes of sent documents, from their thread.
  void sentLanesLost(std::uint64_t lost);

  void statusChanged(const std::string& text) override { console_.statusChanged(text); }
  void passStarted(std::size_t folder) override;
  void filesListed(const std::vector<std::string>& names) override;
  void entryHighlighted(int index) override { console_.entryHighlighted(index); }
  void logLine(const std::string& line) override { console_.logLine(line); }
  void fileTaken(std::size_t folder, std::size_t lane, const std::string& input, const std::string& output) override;
  void fileConverted(const std::string& input, const std::string& output, int pages) override;
  void fileFailed(const std::string& input, const std::string& reason) override;
  void passCompleted(std::size_t folder) override;
  void percentDone(int percent) override;
  void pageReached(int page) override;

 private:
  void ended(const std::string& input, const std::string& output, int pages, std::optional<std::string> failure);
  // The folder a file in hand came from; by its input folder for one not in hand.
  std::size_t folderOfInput(const DaemonStatus& status, const std::string& input) const;
  // Under the lock.
  void showLosses(DaemonStatus& status) const;
  void showProgress();

  ScanObserver& console_;
  DaemonMailbox& mailbox_;
  std::mutex mutex_;
  DaemonStatus status_;
  const std::size_t cycleLanes_;
  const LanePool* lanesOfCycle_ = nullptr;
  std::uint64_t cycleLost_ = 0;
  std::uint64_t sentLost_ = 0;
  // The folder of the pass under way, which the files listed belong to.
  std::size_t passFolder_ = 0;
  // Of the file in hand in the loop's own process.
  FileProgress progress_;
};

}  // namespace vd::daemon
