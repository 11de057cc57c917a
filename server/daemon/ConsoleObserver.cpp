#include "server/daemon/ConsoleObserver.h"

#include <sys/stat.h>

#include <utility>

#include "common/Environment.h"
#include "server/ScanCycle.h"

namespace vd::daemon {

bool IsJournalStream(int descriptor) {
  // "device:inode" of the journal's stream, as the service manager sets it.
  const std::string expected = environmentText("JOURNAL_STREAM");
  struct stat info {};
  if (expected.empty() || fstat(descriptor, &info) != 0) return false;
  return expected == std::to_string(static_cast<unsigned long long>(info.st_dev)) + ":" +
                         std::to_string(static_cast<unsigned long long>(info.st_ino));
}

ConsoleStream::ConsoleStream(std::FILE* stream) : stream_(stream), journal_(IsJournalStream(fileno(stream))) {}

void ConsoleStream::writeLine(const std::string& text, Priority priority) const {
  std::string line;
  if (journal_) line.append("<").append(std::to_string(static_cast<int>(priority))).append(">");
  line += text;
  // A reason may hold line ends of its own (an interpreter's log); one event, one line.
  for (std::size_t at = line.size() - text.size(); at < line.size(); ++at) {
    if (line[at] == '\n' || line[at] == '\r') line[at] = ' ';
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fflush(stream_);
}

void WriteWholeLine(std::FILE* stream, const std::string& text, Priority priority) {
  ConsoleStream(stream).writeLine(text, priority);
}

Priority LogLinePriority(const std::string& line) {
  // A line about one file of several in lanes starts with the file's path and ": ".
  const std::string unable = kUnableToCreatePdf;
  const bool unableLine = line.size() >= unable.size() && line.compare(line.size() - unable.size(), unable.size(), unable) == 0;
  const bool reasonLine = line.rfind("Reason: ", 0) == 0 || line.find(": Reason: ") != std::string::npos;
  return unableLine || reasonLine ? Priority::Error : Priority::Info;
}

ConsoleObserver::ConsoleObserver(const ConsoleStream& log, const ConsoleStream& errors, std::string programName)
    : log_(log), errors_(errors), programName_(std::move(programName)) {}

// The status line and the file list are the window's passing display, not its log.
void ConsoleObserver::statusChanged(const std::string& /*text*/) {}
void ConsoleObserver::filesListed(const std::vector<std::string>& /*names*/) {}
void ConsoleObserver::entryHighlighted(int /*index*/) {}
void ConsoleObserver::fileConverted(const std::string& /*input*/, const std::string& /*output*/, int /*pages*/) {}

void ConsoleObserver::logLine(const std::string& line) { log_.writeLine(line, LogLinePriority(line)); }

void ConsoleObserver::fileFailed(const std::string& input, const std::string& reason) {
  errors_.writeLine(programName_ + ": " + input + ": " + reason, Priority::Error);
}

}  // namespace vd::daemon
