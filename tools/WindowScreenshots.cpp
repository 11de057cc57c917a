// vellumdk-screenshots FOLDER [WINDOW...]: shows each window at its default size and saves a
// picture of it as FOLDER/<window>.png, so its controls and captions can be checked by eye
// (default: every window). Scenes that need more than one window (a menu over the main
// window, the tray's menu) are taken from the screen. Run it on an X server of its own in a
// scratch environment (tools/screenshots does, under Xvfb): the main window reads and
// writes the settings of whoever runs it, and the scenes convert real files.
#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "about/window/frmAbout.h"
#include "common/Locations.h"
#include "common/Seam.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "scripts/window/frmScripts.h"
#include "server/window/Form1.h"
#include "server/window/LogBox.h"
#include "server/window/TrayIcon.h"

namespace {

// A message at start-up (no Distiller printer in a scratch home) must not block the pictures.
class SilentMessageBoxes : public vd::MessageBoxes {
 public:
  void show(const std::string& text, const std::string& title, vd::MessageIcon /*icon*/) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }
};

using WindowFactory = std::function<std::unique_ptr<QWidget>()>;

const std::map<std::string, WindowFactory>& windows() {
  static const std::map<std::string, WindowFactory> table = {
      {"Form1", [] { return std::make_unique<vd::Form1>(std::string()); }},
      // A conversion under way: a few log lines, a failure with its reason, the progress bar.
      {"Form1-converting",
       [] {
         auto form = std::make_unique<vd::Form1>(std::string());
         const std::string in = vd::defaultWorkDir();
         form->appendLog(in + "/report.ps --> " + in + "/report.pdf\r\n");
         form->appendLog(in + "/broken.ps --> " + in + "/broken.pdf\r\n");
         form->appendLogLine("Unable to create PDF.", nullptr, true);
         form->appendLogLine("Reason: The PostScript job made no page.", nullptr, true);
         form->appendLog(in + "/manual.ps --> " + in + "/manual.pdf\r\n");
         form->showProgress(42, 17);
         return form;
       }},
      {"frmAbout", [] { return std::make_unique<vd::frmAbout>(vd::programDir()); }},
      {"frmScripts", [] { return std::make_unique<vd::frmScripts>(); }},
      // With two entries in the script, one selected: every button shows.
      {"frmScripts-filled",
       [] {
         auto window = std::make_unique<vd::frmScripts>();
         auto* files = window->findChild<QListWidget*>("List1");
         auto* add = window->findChild<QPushButton*>("cmdAdd");
         for (int row = 0; row < 2 && row < files->count(); ++row) {
           files->setCurrentRow(row);
           add->click();
         }
         window->findChild<QListWidget*>("List2")->setCurrentRow(0);
         return window;
       }},
  };
  return table;
}

// A scene taken from the screen: its picture, or nothing when it could not be set up.
using Scene = std::function<std::optional<QPixmap>()>;

// A settled file (written a minute ago, as the scan takes it at once).
void writeSettledFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
  const timespec minuteAgo[2] = {{time(nullptr) - 60, 0}, {time(nullptr) - 60, 0}};
  utimensat(AT_FDCWD, path.c_str(), minuteAgo, 0);
}

// The main window scanning a folder of its own with the real engine: input and output in
// the scratch home, one second between passes.
std::unique_ptr<vd::Form1> scanningWindow(const std::vector<std::pair<std::string, std::string>>& files) {
  const std::string in = vd::defaultWorkDir() + "/in";
  const std::string out = vd::defaultWorkDir() + "/out";
  vd::ensureDirectory(in);
  vd::ensureDirectory(out);
  vd::settingsStore().write("InputDir", in);
  vd::settingsStore().write("OutputDir", out);
  vd::settingsStore().write("Seconds", "1");
  for (const auto& [name, content] : files) writeSettledFile(in + "/" + name, content);
  auto form = std::make_unique<vd::Form1>(std::string());
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get(), 10000)) std::fprintf(stderr, "the main window was not shown\n");
  return form;
}

// Clicks Start, runs `atCheckPoint` at the scan's check points until it says the scene is
// taken, then stops and waits for the cycle to end.
void whileScanning(vd::Form1& form, const std::function<bool()>& atCheckPoint) {
  QTimer poll;
  poll.setInterval(100);
  QObject::connect(&poll, &QTimer::timeout, &form, [&] {
    if (form.controller().scanning() && atCheckPoint()) {
      poll.stop();
      form.findChild<QPushButton*>("Command2")->click();
    }
  });
  poll.start();
  QTimer::singleShot(0, &form, [&form] { form.findChild<QPushButton*>("Command1")->click(); });
  if (!QTest::qWaitFor([&] { return !poll.isActive() && !form.controller().scanning(); }, 120000)) {
    std::fprintf(stderr, "the scan did not come to its end\n");
  }
}

QPixmap grabScreen(const QRect& area) {
  return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

// A PostScript page, and a file that claims to be PostScript but makes no page.
const char* kReport = "%!PS\n/Helvetica findfont 24 scalefont setfont 72 700 moveto (Quarterly report) show showpage\n";
const char* kBroken = "%!PS\n% an empty job: no page\n";

const std::map<std::string, Scene>& scenes() {
  static const std::map<std::string, Scene> table = {
      // A pass with a converted and a failed file, and the failed file's line menu open.
      {"Form1-log-menu",
       []() -> std::optional<QPixmap> {
         auto form = scanningWindow({{"report.ps", kReport}, {"broken.ps", kBroken}});
         const std::string in = vd::defaultWorkDir() + "/in";
         whileScanning(*form, [&] {
           return !QFileInfo::exists(QString::fromStdString(in + "/report.ps")) &&
                  !QFileInfo::exists(QString::fromStdString(in + "/broken.ps"));
         });
         auto* box = form->findChild<vd::LogBox*>("txtStatus");
         const QTextBlock failed = box->document()->find(QStringLiteral("broken.ps -->")).block();
         if (!failed.isValid()) return std::nullopt;
         // Near the box's right edge, so that the menu leaves the lines beside it in sight.
         const QPoint at(box->viewport()->width() - 16, box->cursorRect(QTextCursor(failed)).center().y());
         QContextMenuEvent click(QContextMenuEvent::Mouse, at, box->viewport()->mapToGlobal(at));
         QCoreApplication::sendEvent(box->viewport(), &click);
         auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
         if (menu == nullptr || !QTest::qWaitForWindowExposed(menu, 10000)) return std::nullopt;
         QTest::qWait(300);
         const QPixmap picture = grabScreen(form->frameGeometry().united(menu->geometry()));
         menu->close();
         return picture;
       }},
      // The tray's menu while the window scans, minimised: Stop, and Exit switched off.
      {"tray-menu",
       []() -> std::optional<QPixmap> {
         // A tray for the icon to dock into, for as long as the scene lasts.
         QProcess trayer;
         if (!QSystemTrayIcon::isSystemTrayAvailable()) {
           trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32"});
           if (!trayer.waitForStarted(5000) ||
               !QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000)) {
             std::fprintf(stderr, "tray-menu: no system tray (trayer is needed)\n");
             return std::nullopt;
           }
         }
         auto form = scanningWindow({});
         vd::TrayIcon* tray = form->trayIcon();
         if (tray == nullptr || !QTest::qWaitFor([&] { return tray->icon().geometry().isValid(); }, 10000)) {
           return std::nullopt;
         }
         std::optional<QPixmap> picture;
         QElapsedTimer shown;
         whileScanning(*form, [&] {
           if (!shown.isValid()) {
             shown.start();
             form->showMinimized();
             const QRect icon = tray->icon().geometry();
             tray->menu().popup(QPoint(icon.right() - tray->menu().sizeHint().width(), icon.bottom() + 2));
           }
           if (shown.elapsed() < 1500) return false;  // drawn at the check points meanwhile
           const QRect icon = tray->icon().geometry();
           picture = grabScreen(tray->menu().geometry().united(icon).adjusted(-24, -4, 4, 4));
           tray->menu().close();
           return true;
         });
         form->hide();
         trayer.kill();
         trayer.waitForFinished(5000);
         return picture;
       }},
  };
  return table;
}

bool take(const std::string& name, const Scene& scene, const QString& folder) {
  const std::optional<QPixmap> picture = scene();
  const QString file = QDir(folder).filePath(QString::fromStdString(name) + ".png");
  if (!picture || picture->isNull()) {
    std::fprintf(stderr, "%s: the scene could not be set up\n", name.c_str());
    return false;
  }
  if (!picture->save(file)) {
    std::fprintf(stderr, "%s: cannot write %s\n", name.c_str(), qPrintable(file));
    return false;
  }
  std::printf("%s %dx%d %s\n", name.c_str(), picture->width(), picture->height(), qPrintable(file));
  return true;
}

bool shoot(const std::string& name, const WindowFactory& factory, const QString& folder) {
  const std::unique_ptr<QWidget> window = factory();
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get(), 10000)) {
    std::fprintf(stderr, "%s: the window was not shown\n", name.c_str());
    return false;
  }
  QTest::qWait(300);
  const QString file = QDir(folder).filePath(QString::fromStdString(name) + ".png");
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "%s: cannot write %s\n", name.c_str(), qPrintable(file));
    return false;
  }
  std::printf("%s %dx%d %s\n", name.c_str(), window->width(), window->height(), qPrintable(file));
  window->close();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: vellumdk-screenshots FOLDER [WINDOW...]\n");
    return 2;
  }
  SilentMessageBoxes messages;
  vd::ScopedSeam<vd::MessageBoxes> silent(messages);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  bool ok = true;
  if (argc == 2) {
    for (const auto& [name, factory] : windows()) ok = shoot(name, factory, folder) && ok;
    for (const auto& [name, scene] : scenes()) ok = take(name, scene, folder) && ok;
  }
  for (int i = 2; i < argc; ++i) {
    if (const auto found = windows().find(argv[i]); found != windows().end()) {
      ok = shoot(found->first, found->second, folder) && ok;
    } else if (const auto scene = scenes().find(argv[i]); scene != scenes().end()) {
      ok = take(scene->first, scene->second, folder) && ok;
    } else {
      std::fprintf(stderr, "no window named %s\n", argv[i]);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
