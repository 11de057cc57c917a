// vellumdk: the conversion server's window. The whole argument text is what counts:
// exactly "m" minimises the window and starts scanning at once; exactly "--help" or
// "--version" is answered on standard output without a window. Anything else is ignored.
#include <QApplication>
#include <cstdio>
#include <string>

#include "common/Locations.h"
#include "common/Seam.h"
#include "platform/window/QtFileDialogs.h"
#include "platform/window/QtMessageBoxes.h"
#include "server/window/Form1.h"

namespace {

constexpr const char* kHelpText =
    "Usage: vellumdk [m]\n"
    "The Vellumdock window: converts the files that appear in the input directory into\n"
    "PDFs in the output directory while it scans, with its settings, status and log.\n"
    "\n"
    "  m          start minimised and scanning at once (the auto-start entry runs it so)\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Any other argument is ignored. Without a display, run it with QT_QPA_PLATFORM=offscreen.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the application object exists: it would open the display.
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("vellumdk (Vellumdock) %s\n", VD_VERSION);
    return 0;
  }
  vd::makeLocationVariablesAbsolute();
  QApplication application(argc, argv);
  vd::QtMessageBoxes dialogs;
  vd::ScopedSeam<vd::MessageBoxes> messagesAsDialogs(dialogs);
  vd::QtFileDialogs fileDialogs;
  vd::ScopedSeam<vd::FileDialogs> fileDialogsAsDialogs(fileDialogs);
  std::string argumentText;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) argumentText += ' ';
    argumentText += argv[i];
  }
  vd::Form1 form(argumentText);
  form.show();
  return QApplication::exec();
}
