// A scan cycle's report on the console: each log line of the window's log box on standard
// output as it is written, and for each failed file a line on standard error naming the
// file and the reason. Each line is written whole and flushed, so a log collector never
// sees half a line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "server/ScanObserver.h"

namespace vd::daemon {

class ConsoleObserver : public ScanObserver {
 public:
  ConsoleObserver(std::FILE* log, std::FILE* errors, std::string programName);

  void statusChanged(const std::string& text) override;
  void filesListed(const std::vector<std::string>& names) override;
  void entryHighlighted(int index) override;
  void logLine(const std::string& line) override;
  void fileConverted(const std::string& input, const std::string& output) override;
  void fileFailed(const std::string& input, const std::string& reason) override;

 private:
  std::FILE* log_;
  std::FILE* errors_;
  std::string programName_;
};

// Writes text and a line end in one piece, then flushes.
void WriteWholeLine(std::FILE* stream, const std::string& text);

}  // namespace vd::daemon
