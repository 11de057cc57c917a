// vellumdk-screenshots FOLDER: shows each window at its default size and saves what the
// screen shows of it as FOLDER/<window>.png. Run it on a real X display (tools/screenshots
// starts one with xvfb-run) in a scratch environment: the main window reads and writes the
// settings of whoever runs it.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "about/window/frmAbout.h"
#include "common/Locations.h"
#include "server/window/Form1.h"

namespace {

void settle() {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(25);
  }
}

bool save(QWidget& window, const QString& path) {
  window.show();
  window.raise();
  window.activateWindow();
  settle();
  // The whole frame as the screen shows it, decorations of a window manager included.
  const QRect frame = window.frameGeometry();
  const QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  if (shot.isNull() || !shot.save(path)) {
    std::fprintf(stderr, "vellumdk-screenshots: cannot save %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s (%dx%d)\n", qPrintable(path), shot.width(), shot.height());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: vellumdk-screenshots FOLDER\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  bool saved = true;
  {
    vd::Form1 form("");
    saved = save(form, folder.filePath("Form1.png")) && saved;
    // A conversion under way: a few log lines, a failure with its reason, the progress bar.
    const std::string in = vd::defaultWorkDir();
    form.appendLog(in + "/report.ps --> " + in + "/report.pdf\r\n");
    form.appendLog(in + "/broken.ps --> " + in + "/broken.pdf\r\n");
    form.appendLog("Unable to create PDF.\r\n");
    form.appendLog("Reason: The PostScript job made no page.\r\n");
    form.appendLog(in + "/manual.ps --> " + in + "/manual.pdf\r\n");
    form.showProgress(42, 17);
    saved = save(form, folder.filePath("Form1-converting.png")) && saved;
    form.hideProgress();
  }
  {
    vd::frmAbout about(vd::programDir());
    saved = save(about, folder.filePath("frmAbout.png")) && saved;
  }
  return saved ? 0 : 1;
}
