// A wake-up for the passes over a folder: the kernel's change notification (inotify), so
// that a file dropped in is seen at once instead of at the end of the interval. It only
// ever shortens a wait: where a folder cannot be watched (the account's notification
// instances used up, a file system that does not notify, or the operator's
// VELLUMDOCK_CHANGE_NOTIFICATION=0) the interval alone paces the passes, as before.
//
// What counts as a change is a file that appears (created, moved or linked in) or is
// closed after writing, and a touch; writes in progress do not count, so a slow copy does
// not wake the passes at every block it writes.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/Seam.h"

namespace vd {

class FolderWatch {
 public:
  virtual ~FolderWatch() = default;
  // A descriptor that becomes readable when a change is waiting, for a wait that watches
  // other things too (poll, an event loop's socket notifier); -1 when there is none.
  virtual int descriptor() const = 0;
  // Waits up to the given milliseconds for a change; true when one came (or came before the
  // call and was not yet taken). The changes waiting are taken.
  virtual bool waitForChange(int milliseconds) = 0;
};

class FolderChanges {
 public:
  virtual ~FolderChanges() = default;
  // Starts watching the folder. Nothing, with the reason in whyNot, when it cannot be
  // watched.
  virtual std::unique_ptr<FolderWatch> watch(const std::string& folder, std::string& whyNot) = 0;
};

template <>
FolderChanges& Seam<FolderChanges>::defaultInstance();
inline FolderChanges& folderChanges() { return Seam<FolderChanges>::get(); }

// The variable that turns change notification off ("0"), for file systems whose
// notification cannot be trusted.
inline constexpr const char* kChangeNotificationVariable = "VELLUMDOCK_CHANGE_NOTIFICATION";

}  // namespace vd
