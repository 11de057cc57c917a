#include "WindowTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/PrivateDirectories.h"
#include "common/ReplacementFile.h"
#include "common/Text.h"
#include "platform/ProcessIdentity.h"

namespace vd {
namespace {

std::string escapeField(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::string unescapeField(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct StoredWindow {
  WindowInfo info;
  std::string startTime;
  long long registeredAt = 0;
};

class FileWindowTable : public WindowTable {
 public:
  WindowHandle registerWindow(const std::string& className, const std::string& caption) override {
    const WindowHandle handle = (static_cast<WindowHandle>(getpid()) << 20) | (++counter_ & 0xFFFFF);
    StoredWindow window{{handle, className, caption, getpid()}, processStartTime(getpid()), nowNanoseconds()};
    const int inbox = open(inboxPath(handle).c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
    if (inbox >= 0) close(inbox);
    store(window);
    return handle;
  }

  void setCaption(WindowHandle window, const std::string& caption) override {
    auto stored = load(window);
    if (!stored) return;
    stored->info.caption = caption;
    store(*stored);
  }

  void unregisterWindow(WindowHandle window) override {
    unlink(recordPath(window).c_str());
    unlink(inboxPath(window).c_str());
  }

  WindowHandle findWindow(const std::string* className, const std::string* caption) override {
    for (const auto& window : windows()) {
      if (className != nullptr && !equalsIgnoreCase(window.className, *className)) continue;
      if (caption != nullptr && !equalsIgnoreCase(window.caption, *caption)) continue;
      return window.handle;
    }
    return 0;
  }

  std::vector<WindowInfo> windows() override {
    std::vector<StoredWindow> live;
    DIR* dir = opendir(directory().c_str());
    if (dir == nullptr) return {};
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      const std::string suffix = ".window";
      if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
      const WindowHandle handle = std::atoll(name.c_str());
      auto stored = load(handle);
      if (!stored) continue;
      if (ownerAlive(*stored)) {
        live.push_back(*stored);
      } else {
        // A process that ended without unregistering (killed, crashed) leaves its windows
        // behind; they would pile up and slow every search.
        unregisterWindow(handle);
      }
    }
    closedir(dir);
    std::sort(live.begin(), live.end(),
              [](const StoredWindow& a, const StoredWindow& b) { return a.registeredAt > b.registeredAt; });
    std::vector<WindowInfo> result;
    for (auto& window : live) result.push_back(std::move(window.info));
    return result;
  }

  std::int64_t sendMessage(WindowHandle window, std::uint32_t message, std::int64_t wParam,
                           const std::string& lParam) override {
    if (window == HWND_BROADCAST) {
      for (const WindowInfo& each : windows()) sendMessage(each.handle, message, wParam, lParam);
      return 0;
    }
    const auto stored = load(window);
    if (!stored || !ownerAlive(*stored)) return -1;
    // Only an inbox that exists takes mail: a window that is going away refuses it.
    const int inbox = open(inboxPath(window).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (inbox < 0) return -1;
    const std::string line =
        std::to_string(message) + "\t" + std::to_string(wParam) + "\t" + escapeField(lParam) + "\n";
    flock(inbox, LOCK_EX);
    const bool written = write(inbox, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    flock(inbox, LOCK_UN);
    close(inbox);
    return written ? 0 : -1;
  }

  std::vector<WindowMessage> takeMessages(WindowHandle window) override {
    std::vector<WindowMessage> messages;
    const int inbox = open(inboxPath(window).c_str(), O_RDWR | O_CLOEXEC);
    if (inbox < 0) return messages;
    flock(inbox, LOCK_EX);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(inbox, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    if (ftruncate(inbox, 0) != 0) {
      // Keeping the inbox as it is only delivers the messages twice.
    }
    flock(inbox, LOCK_UN);
    close(inbox);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      const auto first = line.find('\t');
      const auto second = first == std::string::npos ? std::string::npos : line.find('\t', first + 1);
      if (second == std::string::npos) continue;
      messages.push_back({static_cast<std::uint32_t>(std::strtoul(line.substr(0, first).c_str(), nullptr, 10)),
                          std::atoll(line.substr(first + 1, second - first - 1).c_str()),
                          unescapeField(line.substr(second + 1))});
    }
    return messages;
  }

 private:
  static long long nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  static std::string directory() {
    const std::string dir = userRuntimeDir() + "/windows";
    makePrivateDirectory(dir);
    return dir;
  }
  static std::string recordPath(WindowHandle window) { return directory() + "/" + std::to_string(window) + ".window"; }
  static std::string inboxPath(WindowHandle window) { return directory() + "/" + std::to_string(window) + ".inbox"; }

  static bool ownerAlive(const StoredWindow& window) {
    return !window.startTime.empty() && processStartTime(window.info.ownerPid) == window.startTime;
  }

  static void store(const StoredWindow& window) {
    std::ostringstream record;
    record << escapeField(window.info.className) << '\n'
           << escapeField(window.info.caption) << '\n'
           << window.info.ownerPid << '\n'
           << window.startTime << '\n'
           << window.registeredAt << '\n';
    // A reader sees the old record or the new one, never half of one. One that cannot be
    // written leaves the table as it was, as the old calls did.
    ignoringErrors([&] { ReplaceFileContent(recordPath(window.info.handle), record.str()); });
  }

  static std::optional<StoredWindow> load(WindowHandle window) {
    std::ifstream in(recordPath(window));
    std::string className, caption, pid, startTime, registeredAt;
    if (!std::getline(in, className) || !std::getline(in, caption) || !std::getline(in, pid) ||
        !std::getline(in, startTime) || !std::getline(in, registeredAt)) {
      return std::nullopt;
    }
    return StoredWindow{{window, unescapeField(className), unescapeField(caption), static_cast<pid_t>(std::atol(pid.c_str()))},
                        startTime, std::atoll(registeredAt.c_str())};
  }

  std::uint32_t counter_ = 0;
};

}  // namespace

template <>
WindowTable& Seam<WindowTable>::defaultInstance() {
  static FileWindowTable instance;
  return instance;
}

}  // namespace vd
