// A scan cycle's report on the console: each log line of the window's log box on standard
// output as it is written, and for each failed file a line on standard error naming the
// file and the reason. Each line is written whole and flushed, so a log collector never
// sees half a line. When a stream is the journal (the service manager says so in
// JOURNAL_STREAM), each line starts with its priority, "<3>" for a failure, so that the
// journal can tell failures from the ordinary lines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "server/ScanObserver.h"

namespace vd::daemon {

// The journal's priorities (syslog's levels) the daemon's lines carry.
enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// One of the standard streams, written one whole line at a time.
class ConsoleStream {
 public:
  explicit ConsoleStream(std::FILE* stream);
  // Writes text and a line end in one piece (line ends within text become spaces), then
  // flushes; with the priority first when the stream is the journal.
  void writeLine(const std::string& text, Priority priority) const;

 private:
  std::FILE* stream_;
  bool journal_;
};

// Writes one line on the stream as ConsoleStream does; a line of its own (a refusal at
// start, a problem of the whole program) is an error unless said otherwise.
void WriteWholeLine(std::FILE* stream, const std::string& text, Priority priority = Priority::Error);

// Whether the descriptor is the stream the service manager connected to the journal.
bool IsJournalStream(int descriptor);

// How the journal is to rank a line of the log box: failures of a file as errors.
Priority LogLinePriority(const std::string& line);

class ConsoleObserver : public ScanObserver {
 public:
  ConsoleObserver(const ConsoleStream& log, const ConsoleStream& errors, std::string programName);

  void statusChanged(const std::string& text) override;
  void filesListed(const std::vector<std::string>& names) override;
  void entryHighlighted(int index) override;
  void logLine(const std::string& line) override;
  void fileConverted(const std::string& input, const std::string& output, int pages) override;
  void fileFailed(const std::string& input, const std::string& reason) override;

 private:
  const ConsoleStream& log_;
  const ConsoleStream& errors_;
  std::string programName_;
};

}  // namespace vd::daemon
