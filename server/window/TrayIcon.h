// The program in the desktop's tray, where it has one: an icon that shows whether the
// program is idle, scanning or converting, a notification for each file that failed, and a
// menu that reaches the window's main commands while it is minimised.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "server/window/ServerView.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace vd {

// What the tray's menu does; each runs as the window's own command would.
struct TrayCommands {
  std::function<void()> showWindow;
  std::function<void()> startOrStop;
  std::function<void()> openOutputFolder;
  std::function<void()> quit;
};

class TrayIcon : public QObject {
 public:
  TrayIcon(TrayCommands commands, QObject* parent);
  ~TrayIcon() override;

  // The icon, its tooltip and the menu follow what the program does: Start or Stop, and
  // Exit only while idle, as the window shows them.
  void showActivity(Activity activity, const std::string& detail);
  // A notification naming the file and the reason it failed.
  void announceFailure(const std::string& input, const std::string& reason);

  QSystemTrayIcon& icon() { return *icon_; }
  QMenu& menu() { return *menu_; }
  Activity activity() const { return activity_; }

 private:
  TrayCommands commands_;
  QMenu* menu_ = nullptr;
  QSystemTrayIcon* icon_ = nullptr;
  QAction* startOrStop_ = nullptr;
  QAction* quit_ = nullptr;
  Activity activity_ = Activity::Idle;
};

}  // namespace vd
