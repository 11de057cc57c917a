// Between the scan loop and the threads that serve a daemon's watchers and clients: the
// loop publishes its status there, and takes the requests the others leave for it, so
// that every change to the folders and every conversion still happens on the loop's own
// terms (its lanes, its rules, its order) while nobody else ever waits on the loop or
// holds it up.
//
// The loop's side: publish() whenever what is shown changes; watch descriptor() with its
// other waits (it is readable while requests are waiting); take() them and answer each
// with finish(), a conversion once it has ended; close() when it stops taking any.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "server/DaemonStatus.h"

namespace vd {

// Convert a document that is not in any watched folder, through the same dispatch and
// lanes as a file dropped into one; the output is written under the name given, as a
// whole PDF or not at all.
struct ConvertDocument {
  std::string input;   // in a private folder of the sender's
  std::string output;  // a PDF path beside it
  // The file name the sender gave it, for the page and the log lines.
  std::string name;
  // "Use security" for it, as the daemon was told for documents sent to it.
  bool security = false;
};

// Put a file kept in a folder's failed/ back into its input folder for another try
// (ReturnFailedFile).
struct ReturnFailed {
  std::size_t folder = 0;  // index in DaemonStatus::folders
  std::string name;
};

// Stop listing a folder, or start again. Files in hand finish either way.
struct PauseFolder {
  std::size_t folder = 0;
  bool paused = true;
};

class DaemonRequest {
 public:
  using What = std::variant<ConvertDocument, ReturnFailed, PauseFolder>;
  enum class End {
    Done,     // carried out
    Failed,   // tried, and failed for the reason given (a conversion's failure)
    Refused,  // not tried: the daemon is stopping, or the request names nothing it has
  };

  explicit DaemonRequest(What what) : what_(std::move(what)) {}
  const What& what() const { return what_; }

  // The loop's side. A request is finished once; later calls change nothing.
  void finish(End end, std::string reason = {});
  // Whether the sender has given up on it; a conversion not yet started is then not
  // worth starting (finish it Refused).
  bool abandoned() const;

  // The sender's side.
  // Waits up to the time given; true when the request is finished.
  bool waitFinished(std::chrono::milliseconds bound);
  std::optional<End> end() const;
  std::string reason() const;
  void abandon();

 private:
  const What what_;
  mutable std::mutex mutex_;
  std::condition_variable finished_;
  std::optional<End> end_;
  std::string reason_;
  bool abandoned_ = false;
};

class DaemonMailbox {
 public:
  DaemonMailbox();
  ~DaemonMailbox();
  DaemonMailbox(const DaemonMailbox&) = delete;
  DaemonMailbox& operator=(const DaemonMailbox&) = delete;

  // Any thread: the status last published; an empty DaemonStatus before the first.
  std::shared_ptr<const DaemonStatus> status() const;

  // The senders' side: leaves a request for the loop. Once the mailbox is closed it is
  // finished at once, Refused.
  void send(const std::shared_ptr<DaemonRequest>& request);

  // The loop's side.
  void publish(DaemonStatus status);
  // The progress of the file in hand, which may be reported many times a second: kept
  // apart, and copied into the status only when someone reads it. A later publish()
  // carries its own.
  void publishProgress(FileProgress progress);
  // Readable while requests are waiting.
  int descriptor() const { return descriptor_; }
  // The requests waiting, oldest first.
  std::vector<std::shared_ptr<DaemonRequest>> take();
  // Takes no more requests: those waiting and those sent later are finished Refused.
  void close();

 private:
  mutable std::mutex mutex_;
  // Made anew with the progress, when there is any, at the first read after it.
  mutable std::shared_ptr<const DaemonStatus> status_;
  mutable std::optional<FileProgress> progress_;
  std::deque<std::shared_ptr<DaemonRequest>> waiting_;
  bool closed_ = false;
  int descriptor_ = -1;
};

inline constexpr const char* kDaemonStopping = "The daemon is stopping and takes no more requests.";

}  // namespace vd
