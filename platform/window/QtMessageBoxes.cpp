#include "platform/window/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace vd {

namespace {

void fill(QMessageBox& box, const std::string& text, const std::string& title, MessageIcon icon) {
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  box.setStandardButtons(QMessageBox::Ok);
  switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
  }
}

}  // namespace

void QtMessageBoxes::show(const std::string& text, const std::string& title, MessageIcon icon) {
  QMessageBox box;
  fill(box, text, title, icon);
  box.exec();
}

void QtMessageBoxes::tell(const std::string& text, const std::string& title, MessageIcon icon) {
  // Over a modal window (the about window) the box must belong to it, or that window would
  // keep its OK button from being pressed.
  auto* box = new QMessageBox(QApplication::activeModalWidget());
  fill(*box, text, title, icon);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

bool QtMessageBoxes::askYesNo(const std::string& text, const std::string& title) {
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  box.setIcon(QMessageBox::Question);
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace vd
