// The scan cycle: the Start command's handler. It runs passes on the window thread until
// a stop is carried out; the window processes events only at the cycle's check points.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "server/PassFilter.h"
#include "server/ServerState.h"
#include "server/ServerView.h"

namespace vd {

inline constexpr const char* kUnableToCreatePdf = "Unable to create PDF.";
inline constexpr const char* kLineEnd = "\r\n";
inline constexpr int kMaxListEntries = 32767;

class ScanCycle {
 public:
  ScanCycle(ServerView& view, ServerState& state, EngineFactory engineFactory);
  // Set-up, then passes; returns after a stop has been carried out.
  void run();

 private:
  enum class Flow { Go, Stopped };

  // Lets the window process its events; when a stop is requested, carries it out.
  Flow checkPoint();
  void carryOutStop();
  // The cycle's one error rule: a failed action is logged and the next action follows.
  template <class Action>
  bool attempt(Action&& action);
  void logLine(const std::string& line);

  void setUp();
  Flow waitPhase();
  Flow listFiles();
  Flow processListedFiles();
  Flow processFile(const std::string& name);
  bool includeInPass(const std::string& name);
  std::string chooseOutputPath(const std::string& name);
  // Runs the dispatch; the reason of a failure, or nothing. Sets stopFound for a script
  // run that met a stop.
  std::optional<std::string> convert(const std::string& out, const std::string& in, const std::string& ext,
                                     bool& stopFound);
  void finishInput(const std::string& name, const std::string& out, const std::optional<FileStamp>& outBefore,
                   std::optional<std::string> failure);
  void setAsideForReplacement(const std::string& path);
  // Removes the PDF set aside once its replacement exists; puts it back otherwise.
  void settleReplacedPdf(const std::string& out, bool replaced);

  ServerView& view_;
  ServerState& state_;
  EngineFactory engineFactory_;
  LeftInPlaceFiles leftInPlace_;
  std::optional<std::string> replacedPdf_;
  // The names of the current pass, in List1's order.
  std::vector<std::string> listed_;
};

}  // namespace vd
