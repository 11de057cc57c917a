// The per-user table of top-level windows that stands where the window manager's search
// and messages stood: stand-ins register their windows and dialogs (class, caption, owner
// process, inbox); anyone of the same user finds them by class or whole caption, ignoring
// case, and sends them messages, which land in the window's inbox for its owner to take.
// Windows of processes that have ended do not count. The table lives in userRuntimeDir().
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/Seam.h"

namespace vd {

using WindowHandle = std::int64_t;

inline constexpr std::uint32_t WM_DESTROY = 2;
inline constexpr std::uint32_t WM_CLOSE = 16;
inline constexpr std::uint32_t WM_WININICHANGE = 26;
// Sent to this handle, a message goes to every live window of the table.
inline constexpr WindowHandle HWND_BROADCAST = -1;
// What a keystroke helper sends a dialog: the text of its field (the whole text in the
// message's lParam), then a key (its virtual-key code in wParam). The dialog's owner
// reads them from its inbox; WM_CLOSE or Escape cancels the dialog, Enter confirms it.
inline constexpr std::uint32_t WM_SETTEXT = 12;
inline constexpr std::uint32_t WM_KEYDOWN = 0x100;
inline constexpr std::int64_t VK_RETURN = 13;
inline constexpr std::int64_t VK_ESCAPE = 27;

struct WindowMessage {
  std::uint32_t message = 0;
  std::int64_t wParam = 0;
  std::string lParam;
};

struct WindowInfo {
  WindowHandle handle = 0;
  std::string className;
  std::string caption;
  pid_t ownerPid = 0;
};

class WindowTable {
 public:
  virtual ~WindowTable() = default;
  // Registers a window owned by this process; the handle is never 0.
  virtual WindowHandle registerWindow(const std::string& className, const std::string& caption) = 0;
  virtual void setCaption(WindowHandle window, const std::string& caption) = 0;
  virtual void unregisterWindow(WindowHandle window) = 0;
  // A window whose class and caption match (nullptr matches any), both compared whole and
  // ignoring case; the most recently registered wins. 0 when there is none.
  virtual WindowHandle findWindow(const std::string* className, const std::string* caption) = 0;
  // The live windows, most recently registered first.
  virtual std::vector<WindowInfo> windows() = 0;
  // Puts a message into the window's inbox: 0 when delivered, -1 when the window is gone.
  // To HWND_BROADCAST: into every live window's inbox, 0 even when there is none.
  virtual std::int64_t sendMessage(WindowHandle window, std::uint32_t message, std::int64_t wParam,
                                   const std::string& lParam) = 0;
  // The messages that arrived for the window, oldest first; the inbox is emptied.
  virtual std::vector<WindowMessage> takeMessages(WindowHandle window) = 0;
};

template <>
WindowTable& Seam<WindowTable>::defaultInstance();
inline WindowTable& windowTable() { return Seam<WindowTable>::get(); }

}  // namespace vd
