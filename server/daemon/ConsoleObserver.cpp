#include "server/daemon/ConsoleObserver.h"

#include <utility>

namespace vd::daemon {

void WriteWholeLine(std::FILE* stream, const std::string& text) {
  std::string line = text;
  // A reason may hold line ends of its own (an interpreter's log); one event, one line.
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

ConsoleObserver::ConsoleObserver(std::FILE* log, std::FILE* errors, std::string programName)
    : log_(log), errors_(errors), programName_(std::move(programName)) {}

// The status line and the file list are the window's passing display, not its log.
void ConsoleObserver::statusChanged(const std::string& /*text*/) {}
void ConsoleObserver::filesListed(const std::vector<std::string>& /*names*/) {}
void ConsoleObserver::entryHighlighted(int /*index*/) {}
void ConsoleObserver::fileConverted(const std::string& /*input*/, const std::string& /*output*/) {}

void ConsoleObserver::logLine(const std::string& line) { WriteWholeLine(log_, line); }

void ConsoleObserver::fileFailed(const std::string& input, const std::string& reason) {
  WriteWholeLine(errors_, programName_ + ": " + input + ": " + reason);
}

}  // namespace vd::daemon
