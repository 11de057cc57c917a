// tabnudge: the keystroke helper. Its one argument is the text the engine writes:
//
//   save pdf file as~CAPTION~PATH~      types PATH into the dialog and presses Enter
//   adobe pdf - security~CAPTION~       presses Enter in the dialog
//
// PATH is everything between the second "~" and the last one, so a path holding "~" or
// blanks arrives whole. The helper waits for a dialog captioned CAPTION (the whole
// caption, ignoring case) of its own print session (platform/PrintSession.h), answers it
// and ends. When none appears within VELLUMDOCK_HELPER_TIMEOUT seconds (45 by default, so
// that no helper outlives its job by a minute) it ends quietly with status 0. A malformed
// argument ends it with status 2.
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "common/Environment.h"
#include "common/Text.h"
#include "platform/Clock.h"
#include "platform/PrintSession.h"
#include "platform/WindowTable.h"

namespace vd {
namespace {

constexpr auto kPollRest = std::chrono::milliseconds(50);

struct Request {
  std::string caption;
  std::optional<std::string> path;  // typed before Enter; nothing for the security dialog
};

std::optional<Request> parseRequest(const std::string& text) {
  const auto first = text.find('~');
  const auto last = text.rfind('~');
  if (first == std::string::npos || last != text.size() - 1 || last == first) return std::nullopt;
  const std::string kind = text.substr(0, first);
  if (equalsIgnoreCase(kind, "adobe pdf - security")) return Request{text.substr(first + 1, last - first - 1), {}};
  if (!equalsIgnoreCase(kind, "save pdf file as")) return std::nullopt;
  const auto second = text.find('~', first + 1);
  if (second == last) return std::nullopt;
  return Request{text.substr(first + 1, second - first - 1), text.substr(second + 1, last - second - 1)};
}

// True once a dialog of the request took the keys.
bool answerDialog(const Request& request, const std::string& dialogClass) {
  WindowTable& windows = windowTable();
  for (const WindowInfo& window : windows.windows()) {
    if (window.className != dialogClass || !equalsIgnoreCase(window.caption, request.caption)) continue;
    if (request.path && windows.sendMessage(window.handle, WM_SETTEXT, 0, *request.path) != 0) continue;
    if (windows.sendMessage(window.handle, WM_KEYDOWN, VK_RETURN, "") == 0) return true;
  }
  return false;
}

int run(const std::string& argumentText) {
  const std::optional<Request> request = parseRequest(argumentText);
  if (!request) return 2;
  const std::string dialogClass = printDialogClass(currentPrintSession());
  const double deadline = clock().seconds() + positiveEnvironmentNumber("VELLUMDOCK_HELPER_TIMEOUT", 45);
  while (!answerDialog(*request, dialogClass)) {
    if (clock().seconds() >= deadline) break;
    std::this_thread::sleep_for(kPollRest);
  }
  return 0;
}

}  // namespace
}  // namespace vd

int main(int argc, char** argv) { return argc == 2 ? vd::run(argv[1]) : 2; }
