#include "outside/printing/PrintDialog.h"

#include <chrono>
#include <thread>

#include "platform/Clock.h"
#include "platform/PrintSession.h"

namespace vd {
namespace {

// A person or a helper answers within a fraction of a second; the inbox is read this often.
constexpr auto kPollRest = std::chrono::milliseconds(20);

}  // namespace

PrintDialog::PrintDialog(const std::string& caption)
    : window_(windowTable().registerWindow(printDialogClass(currentPrintSession()), caption)) {}

PrintDialog::~PrintDialog() { windowTable().unregisterWindow(window_); }

std::optional<PrintDialog::Answer> PrintDialog::waitForAnswer(double boundSeconds) {
  const double deadline = clock().seconds() + boundSeconds;
  for (;;) {
    for (const WindowMessage& message : windowTable().takeMessages(window_)) {
      if (message.message == WM_SETTEXT) text_ = message.lParam;
      if (message.message == WM_CLOSE || (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE)) {
        return Answer{false, text_};
      }
      if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) return Answer{true, text_};
    }
    if (clock().seconds() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollRest);
  }
}

}  // namespace vd
