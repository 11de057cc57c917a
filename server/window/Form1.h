// The main window: every control with its caption and name, wired to the server's
// logic. Start-up runs when the window is created, before it is shown.
#pragma once

#include <QMainWindow>
#include <string>

#include "server/window/LogBox.h"
#include "server/window/ServerController.h"
#include "server/window/ServerView.h"

class QCheckBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;
class QProgressBar;
class QPushButton;

namespace vd {

class TrayIcon;

class Form1 : public QMainWindow, public ServerView {
 public:
  // argumentText: the program's whole argument text ("m" minimises and starts scanning).
  explicit Form1(std::string argumentText, EngineFactory engineFactory = defaultEngineFactory(),
                 QWidget* parent = nullptr);
  ~Form1() override;

  const ServerController& controller() const { return controller_; }
  // The log box's text as shown, lines ending with CR LF: the notice of dropped lines
  // once there are any, then the newest kLogBoxLines lines as appended.
  std::string logText() const;
  // Appends lines ending with CR LF to the log box, about no file.
  void appendLog(const std::string& text);
  // The tray icon, where the desktop has a tray; nullptr where it has none.
  TrayIcon* trayIcon() const { return tray_; }

  // ServerView
  void setStatusText(const std::string& text) override;
  std::string statusText() const override;
  void repaintStatus() override;
  std::string idlePrompt() const override;
  void setHelpText(const std::string& text) override;
  void showListEntries(const std::vector<std::string>& names) override;
  void highlightListEntry(int index) override;
  void appendLogLine(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure) override;
  void logFileChanged(const LoggedFile& file) override;
  void clearLog() override;
  void announceFailure(const LoggedFile& file) override;
  void showActivity(Activity activity, const std::string& detail) override;
  void setStartVisible(bool visible) override;
  void setStopVisible(bool visible) override;
  void setExitVisible(bool visible) override;
  bool exitVisible() const override;
  void setControlsEnabled(bool enabled) override;
  void setCaption(const std::string& caption) override;
  void setBusyPointer(bool busy) override;
  void minimise() override;
  bool optionBoxState(OptionBox box) const override;
  void setOptionBoxState(OptionBox box, bool set) override;
  void setInputDirText(const std::string& text) override;
  void setOutputDirText(const std::string& text) override;
  std::string secondsText() const override;
  void setSecondsText(const std::string& text) override;
  std::string winCaptionText() const override;
  void setWinCaptionText(const std::string& text) override;
  std::string browseForFolder(const std::string& title, const std::string& startFolder) override;
  void showAboutWindow() override;
  void showProgress(int percent, int page) override;
  void hideProgress() override;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createControls();
  void arrangeControls();
  void connectHandlers();
  QCheckBox* optionBox(OptionBox box) const;
  // The activation check ("m" starts scanning), run at most once as the first one.
  void firstActivationCheck();
  void createTrayIcon();
  void showFromTray();
  // Files dragged over any part of the window are taken by the window itself.
  bool handleFileDrag(QEvent* event);

  ServerController controller_;
  bool busy_ = false;
  // The last deactivation gave the focus to no window of this program (another
  // application, a message box or a file dialog).
  bool focusLeftProgram_ = false;
  bool shown_ = false;
  bool activationChecked_ = false;

  QLabel* lblHelp_ = nullptr;
  QLabel* Label1_ = nullptr;
  QPushButton* Command1_ = nullptr;
  QPushButton* Command2_ = nullptr;
  QLabel* Label3_ = nullptr;
  QLineEdit* txtInput_ = nullptr;
  QPushButton* Command4_ = nullptr;
  QLabel* Label4_ = nullptr;
  QLineEdit* txtOutput_ = nullptr;
  QPushButton* Command5_ = nullptr;
  QLabel* Label2_ = nullptr;
  QLineEdit* txtSeconds_ = nullptr;
  QLabel* Label5_ = nullptr;
  QLineEdit* txtWinCaption_ = nullptr;
  QCheckBox* chkOverwrite_ = nullptr;
  QCheckBox* chkSecurity_ = nullptr;
  QCheckBox* chkAutoRun_ = nullptr;
  // A pass lists thousands of names at once: the list lays out uniform rows from a model.
  QListView* List1_ = nullptr;
  QStringListModel* listModel_ = nullptr;
  // The log box's document holds its lines, and only it: a second copy would double
  // what a full box costs.
  LogBox* txtStatus_ = nullptr;
  QPushButton* Command3_ = nullptr;
  QPushButton* cmdScripts_ = nullptr;
  QPushButton* cmdHelp_ = nullptr;
  QPushButton* Command6_ = nullptr;
  QProgressBar* prgConversion_ = nullptr;
  TrayIcon* tray_ = nullptr;
};

}  // namespace vd
