#include "about/window/frmAbout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "about/AboutText.h"
#include "about/ProductInfo.h"
#include "common/IgnoringErrors.h"
#include "platform/DocumentOpener.h"
#include "about/window/ProgramIcon.h"

namespace vd {

LinkLabel::LinkLabel(const QString& text, std::string target, QWidget* parent)
    : QLabel(text, parent), target_(std::move(target)) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  setMouseTracking(true);
  setToolTip(QString::fromStdString(target_));
  showIdle();
}

void LinkLabel::setColour(Qt::GlobalColor colour) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, colour);
  setPalette(palette);
}

void LinkLabel::showIdle() {
  hovered_ = false;
  setColour(Qt::blue);
}

void LinkLabel::showHovered() {
  hovered_ = true;
  setColour(Qt::red);
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event) {
  showHovered();
  // Passed on, the move would reach the window's background and undo the hover.
  event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  // A link that nothing opens would otherwise look like a click that was not taken.
  ignoringErrors([this] { openOrSayWhyNot(target_); });
}

frmAbout::frmAbout(const std::string& programFolder, QWidget* parent) : QDialog(parent) {
  setObjectName("frmAbout");
  setWindowTitle(QString("About ") + product::kName);
  setWindowIcon(ProgramIcon());
  setModal(true);
  setMouseTracking(true);

  auto* Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(ProgramIcon().pixmap(32, 32));
  Image1->setFixedSize(32, 32);
  Label1_ = new LinkLabel("Email us", ContactLink(), this);
  Label1_->setObjectName("Label1");
  Label2_ = new LinkLabel(QString::fromStdString(WebLinkText()), WebLink(), this);
  Label2_->setObjectName("Label2");
  Label4_ = new LinkLabel("Help File", HelpFilePath(programFolder), this);
  Label4_->setObjectName("Label4");
  Text1_ = new QPlainTextEdit(this);
  Text1_->setObjectName("Text1");
  Text1_->setReadOnly(true);
  Text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Text1_->setPlainText(QString::fromStdString(AboutText()).remove('\r'));
  Command1_ = new QPushButton("&OK", this);
  Command1_->setObjectName("Command1");
  Command1_->setDefault(true);
  connect(Command1_, &QPushButton::clicked, this, &QDialog::accept);

  auto* links = new QHBoxLayout;
  links->addWidget(Image1);
  links->addSpacing(8);
  for (LinkLabel* link : {Label1_, Label2_, Label4_}) {
    links->addWidget(link, 0, Qt::AlignTop);
    links->addSpacing(12);
  }
  links->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Command1_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(links);
  layout->addWidget(Text1_, 1);
  layout->addLayout(buttons);
  // Escape closes the window whichever control has the focus.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  resize(380, 260);
}

void frmAbout::mouseMoveEvent(QMouseEvent* event) {
  for (LinkLabel* link : {Label1_, Label2_, Label4_}) link->showIdle();
  QDialog::mouseMoveEvent(event);
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    reject();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vd
