// The main window's tray icon on a real X display with a system tray (Xvfb and trayer):
// its menu runs the window's commands, its icon follows what the program does, and a
// failed file gets a notification; all through the tray's own signals. Without Xvfb or
// trayer there is no tray to dock into, and the test says so and is skipped.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <chrono>
#include <filesystem>
#include <thread>

#include "ServerWindowFixture.h"
#include "common/PrivateDirectories.h"
#include "server/window/TrayIcon.h"
#include "support/XvfbDisplay.h"

namespace vd::test {
namespace {

// Handles events until done() holds or the bound passes; returns done().
bool processEventsUntil(const std::function<bool()>& done, std::chrono::seconds bound = std::chrono::seconds(20)) {
  const auto giveUp = std::chrono::steady_clock::now() + bound;
  while (!done() && std::chrono::steady_clock::now() < giveUp) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// The failure notification on the screen; nullptr when none is shown.
QWidget* notification() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->inherits("QBalloonTip") && window->isVisible()) return window;
  }
  return nullptr;
}

// The texts of the notification on the screen; "" when none is shown.
std::string notificationText() {
  std::string text;
  if (QWidget* shown = notification()) {
    for (const QLabel* label : shown->findChildren<QLabel*>()) text += label->text().toStdString() + "\n";
  }
  return text;
}

class TrayIconTest : public ServerWindowFixture {
 protected:
  void SetUp() override {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
      GTEST_SKIP() << "No system tray on this display: the tray icon needs Xvfb and trayer (packaging/install-deps.sh).";
    }
    ServerWindowFixture::SetUp();
  }
  static void trigger(TrayIcon& tray, const char* name) {
    QAction* action = tray.menu().findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }
  static std::vector<std::string> menuTexts(TrayIcon& tray) {
    std::vector<std::string> texts;
    for (const QAction* action : tray.menu().actions()) {
      if (!action->isSeparator()) texts.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
    }
    return texts;
  }
};

TEST_F(TrayIconTest, MenuRunsTheWindowsCommandsTheIconFollowsTheScanAndAFailedFileIsAnnounced) {
  storeDirectories("1");
  engine.outcomeByExtension["doc"] = EngineOutcome::Raise;
  WriteSettledFile(in("report.doc"), "r");
  auto form = makeForm();
  form->show();
  TrayIcon* tray = form->trayIcon();
  ASSERT_NE(tray, nullptr);
  ASSERT_TRUE(processEventsUntil([&] { return tray->icon().isVisible() && tray->icon().geometry().isValid(); }))
      << "the icon did not dock into the tray";
  EXPECT_EQ(tray->icon().toolTip().toStdString(), "Vellumdock: idle");
  EXPECT_EQ(menuTexts(*tray),
            (std::vector<std::string>{"&Show Vellumdock", "&Start", "Open the &output folder", "E&xit"}));

  // A click on the icon brings the minimised window back.
  form->showMinimized();
  emit tray->icon().activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(form->isMinimized());
  EXPECT_TRUE(form->isVisible());

  // Start from the menu scans as the window's Start does. While it scans, the menu offers
  // Stop, Exit is off and refused, and the icon says what is converted.
  std::string whileConverting;
  engine.duringCall = [&](const EngineCall&) { whileConverting = tray->icon().toolTip().toStdString(); };
  std::vector<std::string> menuWhileScanning;
  std::string whileWaiting;
  bool closedWhileScanning = true;
  pump.onPause = [&](int pause) {
    if (pause == 2) {
      menuWhileScanning = menuTexts(*tray);
      whileWaiting = tray->icon().toolTip().toStdString();
      trigger(*tray, "trayExit");
      closedWhileScanning = !form->isVisible();
      trigger(*tray, "trayStartStop");
    }
  };
  trigger(*tray, "trayStartStop");
  ASSERT_TRUE(processEventsUntil([&] { return pump.pauses >= 2 && !form->controller().scanning(); }));
  EXPECT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(whileConverting, "Vellumdock: converting report.doc");
  EXPECT_EQ(whileWaiting, "Vellumdock: scanning " + inputDir);
  EXPECT_EQ(menuWhileScanning,
            (std::vector<std::string>{"&Show Vellumdock", "&Stop", "Open the &output folder", "E&xit (off)"}));
  EXPECT_FALSE(closedWhileScanning);
  EXPECT_EQ(tray->icon().toolTip().toStdString(), "Vellumdock: idle");
  EXPECT_EQ(menuTexts(*tray).at(1), "&Start");

  // The failed file was announced with its name and reason; a click on the notice shows the window.
  ASSERT_TRUE(processEventsUntil([] { return notification() != nullptr; })) << "no notification";
  const std::string announced = notificationText();
  EXPECT_NE(announced.find("report.doc was not converted"), std::string::npos) << announced;
  EXPECT_NE(announced.find("could not convert " + in("report.doc")), std::string::npos) << announced;
  form->showMinimized();
  QWidget* notice = notification();
  QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), notice->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(notice, &click);
  EXPECT_FALSE(form->isMinimized());

  trigger(*tray, "trayOutputFolder");
  EXPECT_EQ(opener.opened, std::vector<std::string>{outputDir});
  // Idle, Exit from the tray ends the program as the window's Exit does.
  trigger(*tray, "trayExit");
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
}  // namespace vd::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A display of its own with a tray on it, when this machine has the programs for them.
  const std::string logs = vd::makeFreshPrivateDirectory("vellumdock-tray");
  vd::test::XvfbDisplay display(logs + "/xvfb.log");
  if (display.startTray(logs + "/trayer.log")) {
    setenv("DISPLAY", display.name.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No session bus: the tray is the display's own, and no bus is started for the test.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
  } else {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  int result = 0;
  {
    QApplication application(argc, argv);
    // The tray takes a moment to claim the display's tray after it starts.
    if (display.tray) vd::test::processEventsUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(logs, ignored);
  return result;
}
