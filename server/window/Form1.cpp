#include "server/window/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QShortcut>
#include <QTextBlock>
#include <QPushButton>
#include <QMetaObject>
#include <QScrollBar>
#include <QShowEvent>
#include <QStringListModel>
#include <QStyle>
#include <QVBoxLayout>

#include "scripts/window/frmScripts.h"
#include "about/window/ProgramIcon.h"
#include "about/window/frmAbout.h"
#include "platform/window/FolderPicker.h"

namespace vd {
namespace {

template <class Widget, class... Args>
Widget* named(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setObjectName(name);
  return widget;
}

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

Form1::Form1(std::string argumentText, EngineFactory engineFactory, QWidget* parent)
    : QMainWindow(parent), controller_(*this, std::move(argumentText), std::move(engineFactory)) {
  setObjectName("Form1");
  setWindowIcon(ProgramIcon());
  createControls();
  arrangeControls();
  connectHandlers();
  controller_.startUp();
}

Form1::~Form1() {
  if (busy_) QApplication::restoreOverrideCursor();
}

void Form1::createControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);
  lblHelp_ = named<QLabel>(central, "lblHelp", "Welcome to Vellumdock! Press the F1 key for help.");
  Label1_ = named<QLabel>(central, "Label1");
  Label1_->setProperty("Tag", QString(kIdlePrompt));
  Command1_ = named<QPushButton>(central, "Command1", "&Start");
  Command2_ = named<QPushButton>(central, "Command2", "&Stop");
  Command2_->hide();
  Label3_ = named<QLabel>(central, "Label3", "Input Directory (where files to convert to PDF should be copied to)");
  txtInput_ = named<QLineEdit>(central, "txtInput");
  txtInput_->setReadOnly(true);
  Command4_ = named<QPushButton>(central, "Command4", "...");
  Label4_ = named<QLabel>(central, "Label4", "Output Directory (where PDF files will be created)");
  txtOutput_ = named<QLineEdit>(central, "txtOutput");
  txtOutput_->setReadOnly(true);
  Command5_ = named<QPushButton>(central, "Command5", "...");
  Label2_ = named<QLabel>(central, "Label2", "Scan every                seconds");
  // The interval box sits inside the gap between the label's two words.
  txtSeconds_ = named<QLineEdit>(Label2_, "txtSeconds");
  Label5_ = named<QLabel>(central, "Label5", "Save Window Caption");
  txtWinCaption_ = named<QLineEdit>(central, "txtWinCaption");
  chkOverwrite_ = named<QCheckBox>(central, "chkOverwrite", "Overwrite existing PDFs");
  chkSecurity_ = named<QCheckBox>(central, "chkSecurity", "Use security");
  chkAutoRun_ = named<QCheckBox>(central, "chkAutoRun", "Auto-start on bootup");
  List1_ = named<QListView>(central, "List1");
  listModel_ = new QStringListModel(List1_);
  List1_->setModel(listModel_);
  List1_->setUniformItemSizes(true);
  List1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  txtStatus_ = named<QPlainTextEdit>(central, "txtStatus");
  txtStatus_->setReadOnly(true);
  // Nobody can undo what the program wrote; an undo history would grow with every line.
  txtStatus_->setUndoRedoEnabled(false);
  txtStatus_->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtStatus_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtStatus_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Command3_ = named<QPushButton>(central, "Command3", "Clear");
  cmdScripts_ = named<QPushButton>(central, "cmdScripts", "S&cripts");
  cmdHelp_ = named<QPushButton>(central, "cmdHelp");
  cmdHelp_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
  cmdHelp_->setToolTip("About Screen");
  Command6_ = named<QPushButton>(central, "Command6", "&Exit");
  // The engine's progress on the file in hand; shown only while a file converts.
  prgConversion_ = named<QProgressBar>(central, "prgConversion");
  prgConversion_->setRange(0, 100);
  // Its place stays laid out while hidden: it is shown while the engine holds the
  // thread, when no layout pass can run.
  QSizePolicy keepPlace = prgConversion_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  prgConversion_->setSizePolicy(keepPlace);
  prgConversion_->hide();
}

void Form1::arrangeControls() {
  auto* grid = new QGridLayout(centralWidget());
  int row = 0;
  grid->addWidget(lblHelp_, row++, 0, 1, 3);
  grid->addWidget(Label1_, row, 0, 1, 2);
  // Stop takes the place of Start.
  auto* startStop = new QHBoxLayout;
  startStop->addWidget(Command1_);
  startStop->addWidget(Command2_);
  grid->addLayout(startStop, row++, 2);
  grid->addWidget(Label3_, row++, 0, 1, 3);
  grid->addWidget(txtInput_, row, 0, 1, 2);
  grid->addWidget(Command4_, row++, 2);
  grid->addWidget(Label4_, row++, 0, 1, 3);
  grid->addWidget(txtOutput_, row, 0, 1, 2);
  grid->addWidget(Command5_, row++, 2);

  const QFontMetrics metrics(Label2_->font());
  const int gapStart = metrics.horizontalAdvance("Scan every ");
  const int gapWidth = metrics.horizontalAdvance("                ") - metrics.horizontalAdvance("  ");
  Label2_->setMinimumWidth(metrics.horizontalAdvance(Label2_->text()) + 4);
  Label2_->setMinimumHeight(txtSeconds_->sizeHint().height());
  txtSeconds_->setGeometry(gapStart, 0, gapWidth, txtSeconds_->sizeHint().height());
  grid->addWidget(Label2_, row, 0);
  grid->addWidget(chkOverwrite_, row++, 1);
  grid->addWidget(Label5_, row, 0);
  grid->addWidget(chkSecurity_, row++, 1);
  grid->addWidget(txtWinCaption_, row, 0);
  grid->addWidget(chkAutoRun_, row++, 1);
  grid->addWidget(List1_, row++, 0, 1, 3);
  grid->addWidget(txtStatus_, row++, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Command3_);
  buttons->addWidget(cmdScripts_);
  buttons->addWidget(cmdHelp_);
  buttons->addWidget(prgConversion_, 1);
  buttons->addStretch();
  buttons->addWidget(Command6_);
  grid->addLayout(buttons, row++, 0, 1, 3);
  resize(640, 560);
}

void Form1::connectHandlers() {
  connect(Command1_, &QPushButton::clicked, this, [this] { controller_.startClicked(); });
  connect(Command2_, &QPushButton::clicked, this, [this] { controller_.stopClicked(); });
  connect(Command3_, &QPushButton::clicked, this, [this] { controller_.clearClicked(); });
  connect(Command6_, &QPushButton::clicked, this, [this] { close(); });
  connect(cmdScripts_, &QPushButton::clicked, this, [this] { ShowScriptBuilder(this); });
  connect(Command4_, &QPushButton::clicked, this, [this] { controller_.browseInputClicked(); });
  connect(Command5_, &QPushButton::clicked, this, [this] { controller_.browseOutputClicked(); });
  connect(cmdHelp_, &QPushButton::clicked, this, [this] { controller_.aboutClicked(); });
  // F1 alone, whichever control has the focus; it also works during a scan, at the
  // cycle's check points.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setObjectName("helpKey");
  connect(help, &QShortcut::activated, this, [this] { controller_.helpKeyPressed(); });
  connect(chkOverwrite_, &QCheckBox::clicked, this, [this] { controller_.optionBoxClicked(OptionBox::Overwrite); });
  connect(chkSecurity_, &QCheckBox::clicked, this, [this] { controller_.optionBoxClicked(OptionBox::Security); });
  connect(chkAutoRun_, &QCheckBox::clicked, this, [this] { controller_.optionBoxClicked(OptionBox::AutoRun); });
  txtSeconds_->installEventFilter(this);
  txtWinCaption_->installEventFilter(this);
}

bool Form1::event(QEvent* event) {
  // Qt reports the new active window before it deactivates the old one: none means the
  // whole program lost the focus to another application. Message boxes and file dialogs
  // are the system's, not windows of the program, so leaving them is no activation either.
  if (event->type() == QEvent::WindowDeactivate) {
    const QWidget* next = QApplication::activeWindow();
    focusLeftProgram_ =
        next == nullptr || qobject_cast<const QMessageBox*>(next) != nullptr || qobject_cast<const QFileDialog*>(next) != nullptr;
  }
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate) {
    // Only a change between the program's own windows counts: coming back from another
    // application, from minimised or from a message box must not restart a cycle the
    // operator stopped.
    const bool returningFromOutside = focusLeftProgram_;
    focusLeftProgram_ = false;
    if (!returningFromOutside) {
      activationChecked_ = true;
      controller_.activated();
    }
  }
  return handled;
}

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // Without a window manager (a kiosk, an auto-start under focus-stealing prevention)
  // nothing may ever activate the window: the first check runs once it is shown, unless an
  // activation came first.
  QMetaObject::invokeMethod(this, [this] { firstActivationCheck(); }, Qt::QueuedConnection);
}

void Form1::firstActivationCheck() {
  if (activationChecked_) return;
  activationChecked_ = true;
  controller_.activated();
}

void Form1::closeEvent(QCloseEvent* event) {
  if (controller_.closeRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  // A context menu or a switch to another application leaves the box being edited: the
  // operator has not left it yet.
  const auto leftTheBox = [event] {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    return reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
  };
  if (event->type() == QEvent::FocusOut && leftTheBox()) {
    if (watched == txtSeconds_) controller_.secondsLostFocus();
    if (watched == txtWinCaption_) controller_.winCaptionLostFocus();
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form1::setStatusText(const std::string& value) { Label1_->setText(text(value)); }
std::string Form1::statusText() const { return Label1_->text().toStdString(); }
void Form1::repaintStatus() { Label1_->repaint(); }
std::string Form1::idlePrompt() const { return Label1_->property("Tag").toString().toStdString(); }
void Form1::setHelpText(const std::string& value) { lblHelp_->setText(text(value)); }

void Form1::showListEntries(const std::vector<std::string>& names) {
  QStringList shown;
  shown.reserve(static_cast<qsizetype>(names.size()));
  for (const std::string& name : names) shown.append(text(name));
  listModel_->setStringList(shown);
}
void Form1::highlightListEntry(int index) { List1_->setCurrentIndex(listModel_->index(index)); }

std::string Form1::logText() const {
  // The box keeps the lines without their CR; each line end was a CR LF.
  QString shown = txtStatus_->toPlainText();
  shown.replace('\n', QStringLiteral("\r\n"));
  return shown.toStdString();
}

void Form1::appendLog(const std::string& value) {
  QString shown = text(value);
  shown.remove('\r');
  txtStatus_->moveCursor(QTextCursor::End);
  txtStatus_->insertPlainText(shown);
  dropOldestLogLines();
  txtStatus_->verticalScrollBar()->setValue(txtStatus_->verticalScrollBar()->maximum());
}

void Form1::dropOldestLogLines() {
  QTextDocument* document = txtStatus_->document();
  // The lines shown: every block but the notice and the one after the last line end.
  const auto keptLines = [&] {
    return static_cast<std::size_t>(document->blockCount()) - 1 - (logLinesDropped_ ? 1 : 0);
  };
  if (keptLines() <= kLogBoxLines) return;
  if (!logLinesDropped_) {
    logLinesDropped_ = true;
    QTextCursor top(document);
    top.insertText(text(kLogLinesDroppedNotice + controller_.logFilePath()) + '\n');
  }
  while (keptLines() > kLogBoxLines) {
    // The first line under the notice goes, with its line end.
    QTextCursor oldest(document->findBlockByNumber(1));
    oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
  }
}

void Form1::clearLog() {
  logLinesDropped_ = false;
  txtStatus_->clear();
}

void Form1::setStartVisible(bool visible) { Command1_->setVisible(visible); }
void Form1::setStopVisible(bool visible) { Command2_->setVisible(visible); }
void Form1::setExitVisible(bool visible) { Command6_->setVisible(visible); }
bool Form1::exitVisible() const { return !Command6_->isHidden(); }

void Form1::setControlsEnabled(bool enabled) {
  for (QPushButton* button : centralWidget()->findChildren<QPushButton*>()) button->setEnabled(enabled);
  for (QCheckBox* box : centralWidget()->findChildren<QCheckBox*>()) box->setEnabled(enabled);
  Command2_->setEnabled(!enabled);
}

void Form1::setCaption(const std::string& caption) { setWindowTitle(text(caption)); }

void Form1::setBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void Form1::minimise() { showMinimized(); }

std::string Form1::browseForFolder(const std::string& title, const std::string& startFolder) {
  return folderPicker().browseForFolder(this, title, startFolder);
}

void Form1::showAboutWindow() {
  frmAbout about(controller_.state().ProgramDir, this);
  about.exec();
}

void Form1::showProgress(int percent, int page) {
  prgConversion_->show();
  prgConversion_->setFormat(page > 0 ? QString("%p% (page %1)").arg(page) : QString("%p%"));
  prgConversion_->setValue(std::max(percent, 0));
  // The engine holds the thread: paint now, not at the next check point.
  prgConversion_->repaint();
}

void Form1::hideProgress() {
  prgConversion_->hide();
  prgConversion_->reset();
}

QCheckBox* Form1::optionBox(OptionBox box) const {
  switch (box) {
    case OptionBox::Overwrite: return chkOverwrite_;
    case OptionBox::AutoRun: return chkAutoRun_;
    case OptionBox::Security: return chkSecurity_;
  }
  return chkOverwrite_;
}

bool Form1::optionBoxState(OptionBox box) const { return optionBox(box)->isChecked(); }
void Form1::setOptionBoxState(OptionBox box, bool set) { optionBox(box)->setChecked(set); }

void Form1::setInputDirText(const std::string& value) { txtInput_->setText(text(value)); }
void Form1::setOutputDirText(const std::string& value) { txtOutput_->setText(text(value)); }
std::string Form1::secondsText() const { return txtSeconds_->text().toStdString(); }
void Form1::setSecondsText(const std::string& value) { txtSeconds_->setText(text(value)); }
std::string Form1::winCaptionText() const { return txtWinCaption_->text().toStdString(); }
void Form1::setWinCaptionText(const std::string& value) { txtWinCaption_->setText(text(value)); }

}  // namespace vd
