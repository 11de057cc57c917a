// vellumdk: the conversion server's window. The whole argument text is what counts:
// exactly "m" minimises the window and starts scanning at once.
#include <QApplication>
#include <string>

#include "common/Seam.h"
#include "platform/window/QtFileDialogs.h"
#include "platform/window/QtMessageBoxes.h"
#include "server/window/Form1.h"

int main(int argc, char** argv) {
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
