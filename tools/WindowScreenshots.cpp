// vellumdk-screenshots FOLDER [WINDOW...]: shows each window at its default size and saves a
// picture of it as FOLDER/<window>.png, so its controls and captions can be checked by eye
// (default: every window). Run it on an X server of its own in a scratch environment
// (tools/screenshots does, under Xvfb): the main window reads and writes the settings of
// whoever runs it.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "about/window/frmAbout.h"
#include "common/Locations.h"
#include "common/Seam.h"
#include "platform/MessageBoxes.h"
#include "scripts/window/frmScripts.h"
#include "server/window/Form1.h"

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
         form->appendLog("Unable to create PDF.\r\n");
         form->appendLog("Reason: The PostScript job made no page.\r\n");
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
  }
  for (int i = 2; i < argc; ++i) {
    const auto found = windows().find(argv[i]);
    if (found == windows().end()) {
      std::fprintf(stderr, "no window named %s\n", argv[i]);
      ok = false;
      continue;
    }
    ok = shoot(found->first, found->second, folder) && ok;
  }
  return ok ? 0 : 1;
}
