// What the window's logic needs from the window. The Qt window Form1 is the view; the
// logic (start-up, commands, the scan cycle's reports) never touches a widget directly.
#pragma once

#include <string>
#include <vector>

namespace vd {

enum class OptionBox { Overwrite, AutoRun, Security };

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

  // The log box txtStatus.
  virtual void appendLog(const std::string& text) = 0;
  virtual void clearLog() = 0;

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
