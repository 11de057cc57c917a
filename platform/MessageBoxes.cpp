#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace vd {
namespace {

class QtMessageBoxes : public MessageBoxes {
 public:
  void show(const std::string& text, const std::string& title, MessageIcon icon) override {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
      // No windows (a command-line client of the engine): the message goes to stderr.
      std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
      return;
    }
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
      case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
      case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
      case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
      case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    box.exec();
  }
};

}  // namespace

template <>
MessageBoxes& Seam<MessageBoxes>::defaultInstance() {
  static QtMessageBoxes instance;
  return instance;
}

}  // namespace vd
