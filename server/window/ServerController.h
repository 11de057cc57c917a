// The main window's logic without its widgets: start-up, activation, the close request
// and the command handlers. The scan cycle runs inside startClicked() (and inside an
// activation with the argument "m") until it has been stopped; its reports reach the
// window through this controller.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/EngineFactory.h"
#include "server/FailureReason.h"
#include "server/LogFile.h"
#include "server/ScanObserver.h"
#include "server/ScanSettings.h"
#include "server/window/ServerState.h"
#include "server/window/ServerView.h"

namespace vd {

class ScanCycle;

inline constexpr const char* kIdlePrompt =
    "Click the Start Button to scan for files in input directory ------------->";
inline constexpr const char* kNoDistillerMessage =
    "The Adobe printer driver 'Adobe PDF' or 'Acrobat Distiller' was not found on this machine. Before using "
    "Vellumdock you must install this from the Adobe Acrobat setup disks.";
inline constexpr const char* kSecurityNotice = "Adobe PDF security settings will be applied to the generated PDF file.";

// True when one of the printers is the Distiller printer ("Adobe PDF" or "Acrobat
// Distiller", whole name, any letter case).
bool HasDistillerPrinter();

class ServerController : private ScanObserver {
 public:
  // argumentText: the program's whole command-line argument text.
  ServerController(ServerView& view, std::string argumentText, EngineFactory engineFactory);

  void startUp();
  void activated();
  // False refuses the close.
  bool closeRequested() const;

  void startClicked();
  void stopClicked();
  void clearClicked();
  void optionBoxClicked(OptionBox box);
  void secondsLostFocus();
  void winCaptionLostFocus();
  void browseInputClicked();
  void browseOutputClicked();
  void aboutClicked();
  // F1 without Shift, Ctrl or Alt: the help file in the desktop's PDF viewer.
  void helpKeyPressed();
  // Files dropped onto the window: copied into the input folder, each said in the log.
  void filesDropped(const std::vector<std::string>& paths);

  const ServerState& state() const { return state_; }
  const std::string& logFilePath() const { return logFile_.path(); }
  bool scanning() const { return cycle_ != nullptr; }

 private:
  void readSettings();
  void checkDistillerPrinter();
  ScanSettings scanSettings() const;
  void showScanning();
  void showStopped();

  // ScanObserver: the window shows the status, the list and the log.
  void statusChanged(const std::string& text) override;
  void filesListed(const std::vector<std::string>& names) override;
  void entryHighlighted(int index) override;
  void logLine(const std::string& line) override;
  void fileConverted(const std::string& input, const std::string& output, int pages) override;
  void fileFailed(const std::string& input, const std::string& reason) override;
  void failedFileKept(const std::string& input, const std::string& keptPath) override;
  void percentDone(int percent) override;
  void pageReached(int page) override;
  // Shows a line in the log box and writes it to the log file; a line the cycle writes
  // while a file of the pass is in hand is about that file.
  void log(const std::string& line, bool saysFailure = false) { writeLog(line, inHand_, saysFailure); }
  void writeLog(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure);
  // A problem the operator must see: in the status line and the log.
  void sayProblem(const std::string& problem);
  // The file of the pass in hand, when it is the one named input.
  LoggedFile* fileInHand(const std::string& input);

  ServerView& view_;
  std::string argumentText_;
  EngineFactory engineFactory_;
  ServerState state_;
  // The cycle running inside startClicked(), if any.
  ScanCycle* cycle_ = nullptr;
  // Stop pressed while no cycle ran: the next cycle stops at its first check point.
  bool stopPending_ = false;
  LogFile logFile_;
  // The engine's progress on the file in hand; -1 until reported.
  int percent_ = -1;
  int page_ = -1;
  // The settings of the running cycle and the files of its current pass, for the log's
  // lines about the file in hand.
  ScanSettings running_;
  std::vector<std::string> passFiles_;
  std::shared_ptr<LoggedFile> inHand_;
  // A problem found while loading, said once the status line has its idle prompt.
  std::string startUpProblem_;
};

}  // namespace vd
