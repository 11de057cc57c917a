#include "server/window/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "about/window/ProgramIcon.h"
#include "common/Paths.h"
#include "common/ProgramTitle.h"

namespace vd {
namespace {

// How long a failure stays on the screen, in milliseconds (the desktop may keep it longer).
constexpr int kNotificationMilliseconds = 10000;

// The program's icon with a mark at its lower right corner: none while idle, a ring while
// it watches the folder, a filled dot while a file converts.
QIcon iconFor(Activity activity) {
  if (activity == Activity::Idle) return ProgramIcon();
  QIcon marked;
  for (const int size : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap = ProgramIcon().pixmap(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal diameter = size * 0.5;
    const QRectF mark(size - diameter, size - diameter, diameter, diameter);
    painter.setPen(QPen(Qt::white, std::max(1.0, size / 16.0)));
    if (activity == Activity::Scanning) {
      painter.setBrush(QColor(0x1e, 0x6f, 0xd9));
      painter.drawEllipse(mark.adjusted(1, 1, -1, -1));
      painter.setBrush(Qt::white);
      painter.drawEllipse(mark.adjusted(diameter * 0.3, diameter * 0.3, -diameter * 0.3, -diameter * 0.3));
    } else {
      painter.setBrush(QColor(0x2e, 0xa0, 0x43));
      painter.drawEllipse(mark.adjusted(1, 1, -1, -1));
    }
    painter.end();
    marked.addPixmap(pixmap);
  }
  return marked;
}

QString toolTipFor(Activity activity, const std::string& detail) {
  const QString title = kProgramTitle;
  switch (activity) {
    case Activity::Idle: return title + ": idle";
    case Activity::Scanning: return title + ": scanning " + QString::fromStdString(detail);
    case Activity::Converting: return title + ": converting " + QString::fromStdString(detail);
  }
  return title;
}

}  // namespace

TrayIcon::TrayIcon(TrayCommands commands, QObject* parent) : QObject(parent), commands_(std::move(commands)) {
  // The menu has no parent widget: a tray's menu is a window of its own.
  menu_ = new QMenu;
  menu_->setObjectName("trayMenu");
  const auto add = [this](const char* name, const QString& caption, const std::function<void()>& command) {
    QAction* action = menu_->addAction(caption);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, [command] {
      if (command) command();
    });
    return action;
  };
  add("trayShowWindow", "&Show Vellumdock", commands_.showWindow);
  startOrStop_ = add("trayStartStop", "&Start", commands_.startOrStop);
  add("trayOutputFolder", "Open the &output folder", commands_.openOutputFolder);
  menu_->addSeparator();
  quit_ = add("trayExit", "E&xit", commands_.quit);

  icon_ = new QSystemTrayIcon(this);
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if ((reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) && commands_.showWindow) {
      commands_.showWindow();
    }
  });
  // A click on a failure's notification brings the window with the log.
  connect(icon_, &QSystemTrayIcon::messageClicked, this, [this] {
    if (commands_.showWindow) commands_.showWindow();
  });
  showActivity(Activity::Idle, "");
}

TrayIcon::~TrayIcon() { delete menu_; }

void TrayIcon::showActivity(Activity activity, const std::string& detail) {
  if (activity != activity_ || icon_->icon().isNull()) icon_->setIcon(iconFor(activity));
  activity_ = activity;
  icon_->setToolTip(toolTipFor(activity, detail));
  startOrStop_->setText(activity == Activity::Idle ? "&Start" : "&Stop");
  // The window hides Exit while it scans: a quit then would be refused anyway.
  quit_->setEnabled(activity == Activity::Idle);
}

void TrayIcon::announceFailure(const std::string& input, const std::string& reason) {
  icon_->showMessage(QString::fromStdString(fileNameOf(input) + " was not converted"), QString::fromStdString(reason),
                     QSystemTrayIcon::Warning, kNotificationMilliseconds);
}

}  // namespace vd
