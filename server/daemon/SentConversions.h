// The daemon's side of its mailbox: a thread of its own takes what the HTTP server leaves
// there. Documents sent for conversion go through the dispatch in lanes of their own
// (vellumdk-lane processes, as the files of the folders with --jobs N), confined and warm
// like those, and never touch a watched folder: each is converted in its sender's private
// folder. Requests about the folders (Retry, Pause) are handed to the scan loop's thread,
// which alone touches the folders.
//
// So neither a long conversion in the loop nor one sent holds up the other, and a client
// never waits on the loop for anything but a change to a folder.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/DaemonMailbox.h"
#include "server/FileConversion.h"
#include "server/ScanSettings.h"
#include "server/daemon/StatusBoard.h"

namespace vd::daemon {

class SentConversions {
 public:
  // forFolders runs on the taking thread and must pass the request on to the loop, which
  // finishes it; one not finished when this stops is finished Refused.
  using FolderRequests = std::function<void(std::shared_ptr<DaemonRequest>)>;

  // Sent documents' scanned pages are recognised as recognition's are (its ocrLanguages and
  // ocrRotate: the first folder's, the daemon's own where it serves one folder).
  SentConversions(DaemonMailbox& mailbox, StatusBoard& board, std::size_t lanes, std::string laneProgram,
                  const ScanSettings& recognition, FolderRequests forFolders);
  ~SentConversions();
  SentConversions(const SentConversions&) = delete;
  SentConversions& operator=(const SentConversions&) = delete;

  // Takes no more requests: those waiting and those in hand are finished Refused, and the
  // lanes end.
  void stop();

 private:
  struct InLane;
  void run();
  void takeRequests();
  void startWaiting();
  void finish(std::size_t lane, const ConversionOutcome& outcome);

  DaemonMailbox& mailbox_;
  StatusBoard& board_;
  const std::size_t laneCount_;
  const std::string laneProgram_;
  const std::string ocrLanguages_;
  const bool ocrRotate_;
  const FolderRequests forFolders_;
  // The board's number of the first of these lanes (the cycle's come first).
  std::size_t firstLane_ = 0;
  std::atomic<bool> stopping_{false};
  // Used by the thread alone.
  std::vector<std::shared_ptr<DaemonRequest>> waiting_;
  std::vector<std::unique_ptr<InLane>> inLanes_;
  std::mutex forwardedMutex_;
  std::vector<std::weak_ptr<DaemonRequest>> forwarded_;
  std::thread thread_;
};

}  // namespace vd::daemon
