// What the window's logic needs from the window. The Qt window Form1 is the view; the
// logic (start-up, commands, the scan cycle's reports) never touches a widget directly.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vd {

enum class OptionBox { Overwrite, AutoRun, Security };

// What the program is doing, as the tray icon shows it.
enum class Activity { Idle, Scanning, Converting };

// A file of a pass as the log knows it. The lines written about it point to it, and it
// fills in as the file's conversion ends.
struct LoggedFile {
  enum class Outcome { Converting, Converted, Failed };
  std::string input;
  std::string output;  // the PDF named by the file's "-->" line
  Outcome outcome = Outcome::Converting;
  std::string reason;    // why it failed
  std::string keptPath;  // where the failed input lies now, in failed/
  std::string notePath;  // the note with the reason beside it
};

class ServerView {
 public:
  virtual ~ServerView() = default;

  // The status line Label1 and its tag, the idle prompt.
  virtual void setStatusText(const std::string& text) = 0;
  virtual std::string statusText() const = 0;
  virtual void repaintStatus() = 0;
  virtual std::string idlePrompt() const = 0;
  // The welcome line lblHelp.
  virtual void setHelpText(const std::string& text) = 0;

  // The file list List1: shows the names given, in their order (none clears it).
  virtual void showListEntries(const std::vector<std::string>& names) = 0;
  virtual void highlightListEntry(int index) = 0;

  // The log box txtStatus: one line (without its line end), the file of the pass it is
  // about (or none), and whether the line itself says that something failed.
  virtual void appendLogLine(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure) = 0;
  // A file's outcome became known: its lines take their colour.
  virtual void logFileChanged(const LoggedFile& file) = 0;
  virtual void clearLog() = 0;
  // Says, where the window is out of sight (the tray), that a file failed and why.
  virtual void announceFailure(const LoggedFile& file) = 0;
  // The tray icon's state; detail names the folder scanned or the file converted.
  virtual void showActivity(Activity activity, const std::string& detail) = 0;

  // Start (Command1), Stop (Command2), Exit (Command6).
  virtual void setStartVisible(bool visible) = 0;
  virtual void setStopVisible(bool visible) = 0;
  virtual void setExitVisible(bool visible) = 0;
  virtual bool exitVisible() const = 0;
  // Every button and check box, then Stop to the opposite.
  virtual void setControlsEnabled(bool enabled) = 0;

  virtual void setCaption(const std::string& caption) = 0;
  virtual void setBusyPointer(bool busy) = 0;
  virtual void minimise() = 0;

  // The option boxes; setting a state here runs no handler.
  virtual bool optionBoxState(OptionBox box) const = 0;
  virtual void setOptionBoxState(OptionBox box, bool set) = 0;

  // The directory boxes and the two editable boxes.
  virtual void setInputDirText(const std::string& text) = 0;
  virtual void setOutputDirText(const std::string& text) = 0;
  virtual std::string secondsText() const = 0;
  virtual void setSecondsText(const std::string& text) = 0;
  virtual std::string winCaptionText() const = 0;
  virtual void setWinCaptionText(const std::string& text) = 0;

  // The folder picker of the browse buttons, owned by the window: the chosen folder, or
  // "" when the operator cancels.
  virtual std::string browseForFolder(const std::string& title, const std::string& startFolder) = 0;
  // Opens the about window modally and returns when it has closed.
  virtual void showAboutWindow() = 0;

  // The engine's progress on the file in hand; a value below 0 is not known yet.
  virtual void showProgress(int percent, int page) = 0;
  virtual void hideProgress() = 0;
};

}  // namespace vd
