#include "platform/FolderChanges.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Environment.h"
#include "common/Text.h"

namespace vd {
namespace {

// Appearing files and finished writes; IN_MODIFY would wake for every block of a copy.
constexpr std::uint32_t kChanges = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF |
                                   IN_MOVE_SELF | IN_ONLYDIR;

class InotifyWatch : public FolderWatch {
 public:
  explicit InotifyWatch(int descriptor) : descriptor_(descriptor) {}
  ~InotifyWatch() override { close(descriptor_); }
  InotifyWatch(const InotifyWatch&) = delete;
  InotifyWatch& operator=(const InotifyWatch&) = delete;

  int descriptor() const override { return descriptor_; }

  bool waitForChange(int milliseconds) override {
    if (takeChanges()) return true;
    pollfd waiting{descriptor_, POLLIN, 0};
    // A signal that cuts the wait short counts as no change: the caller looks at its
    // events and waits again.
    if (::poll(&waiting, 1, milliseconds < 0 ? 0 : milliseconds) <= 0) return false;
    return takeChanges();
  }

 private:
  // Reads what is waiting without blocking; true when anything was (an overflow of the
  // kernel's queue included: something changed).
  bool takeChanges() {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    for (;;) {
      const ssize_t n = read(descriptor_, buffer, sizeof buffer);
      if (n > 0) {
        any = true;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      return any;
    }
  }

  int descriptor_;
};

class InotifyFolderChanges : public FolderChanges {
 public:
  std::unique_ptr<FolderWatch> watch(const std::string& folder, std::string& whyNot) override {
    if (trimSpaces(environmentText(kChangeNotificationVariable)) == "0") {
      whyNot = std::string("change notification is turned off (") + kChangeNotificationVariable + "=0)";
      return nullptr;
    }
    const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0) {
      whyNot = std::string("the system gives no change notification: ") + std::strerror(errno);
      return nullptr;
    }
    if (inotify_add_watch(descriptor, folder.c_str(), kChanges) < 0) {
      whyNot = std::string("the folder gives no change notification: ") + std::strerror(errno);
      close(descriptor);
      return nullptr;
    }
    return std::make_unique<InotifyWatch>(descriptor);
  }
};

}  // namespace

template <>
FolderChanges& Seam<FolderChanges>::defaultInstance() {
  static InotifyFolderChanges instance;
  return instance;
}

}  // namespace vd
