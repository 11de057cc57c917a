#include "server/window/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QShortcut>
#include <QPushButton>
#include <QMetaObject>
#include <QShowEvent>
#include <QStringListModel>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "scripts/window/frmScripts.h"
#include "about/window/ProgramIcon.h"
#include "about/window/frmAbout.h"
#include "platform/DocumentOpener.h"
#include "platform/window/FolderPicker.h"
#include "server/window/TrayIcon.h"

namespace vd {
namespace {

template <class Widget, class... Args>
Widget* named(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setObjectName(name);
  return widget;
}

QString text(const std::string& value) { return QString::fromStdString(value); }

// The local files a drag carries; none when it carries anything else as well.
std::vector<std::string> draggedFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  return files;
}

}  // namespace

Form1::Form1(std::string argumentText, EngineFactory engineFactory, QWidget* parent)
    : QMainWindow(parent), controller_(*this, std::move(argumentText), std::move(engineFactory)) {
  setObjectName("Form1");
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);
  createControls();
  arrangeControls();
  connectHandlers();
  if (QSystemTrayIcon::isSystemTrayAvailable()) createTrayIcon();
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
  txtStatus_ = new LogBox([this] { return controller_.state().OutputDir; }, [this] { return controller_.logFilePath(); },
                          central);
  txtStatus_->setObjectName("txtStatus");
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
  // Files dropped anywhere on the window go to the input folder, also over the boxes that
  // take dropped text.
  for (QWidget* child : findChildren<QWidget*>()) {
    if (child->acceptDrops()) child->installEventFilter(this);
  }
}

void Form1::createTrayIcon() {
  TrayCommands commands;
  commands.showWindow = [this] { showFromTray(); };
  // From the event loop, as a click on the window's own button: the cycle Start runs must
  // not run inside the menu that asked for it.
  commands.startOrStop = [this] {
    QTimer::singleShot(0, this, [this] {
      // Under a modal window (about, scripts) Start cannot be pressed in the window either.
      if (controller_.scanning()) {
        Command2_->click();
      } else if (QApplication::activeModalWidget() == nullptr) {
        Command1_->click();
      }
    });
  };
  commands.openOutputFolder = [this] { openOrSayWhyNot(controller_.state().OutputDir); };
  commands.quit = [this] { close(); };
  tray_ = new TrayIcon(std::move(commands), this);
  tray_->icon().show();
}

void Form1::showFromTray() {
  if (isMinimized()) {
    showNormal();
  } else {
    show();
  }
  raise();
  activateWindow();
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

bool Form1::handleFileDrag(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (draggedFiles(drag->mimeData()).empty()) return false;
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::vector<std::string> files = draggedFiles(drop->mimeData());
      if (files.empty()) return false;
      // Copied, never moved: the source keeps its file whatever the drag proposed.
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      controller_.filesDropped(files);
      return true;
    }
    default:
      return false;
  }
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (!handleFileDrag(event)) QMainWindow::dragEnterEvent(event);
}
void Form1::dragMoveEvent(QDragMoveEvent* event) {
  if (!handleFileDrag(event)) QMainWindow::dragMoveEvent(event);
}
void Form1::dropEvent(QDropEvent* event) {
  if (!handleFileDrag(event)) QMainWindow::dropEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched != this && handleFileDrag(event)) return true;
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

std::string Form1::logText() const { return txtStatus_->linesText(); }

void Form1::appendLog(const std::string& value) {
  std::size_t start = 0;
  while (start < value.size()) {
    const std::size_t end = std::min(value.find('\n', start), value.size());
    std::string line = value.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    txtStatus_->appendLine(line, nullptr, false);
    start = end + 1;
  }
}

void Form1::appendLogLine(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure) {
  txtStatus_->appendLine(line, std::move(file), saysFailure);
}

void Form1::logFileChanged(const LoggedFile& file) { txtStatus_->fileChanged(file); }

void Form1::clearLog() { txtStatus_->clearLines(); }

void Form1::announceFailure(const LoggedFile& file) {
  if (tray_ != nullptr) tray_->announceFailure(file.input, file.reason);
}

void Form1::showActivity(Activity activity, const std::string& detail) {
  if (tray_ != nullptr) tray_->showActivity(activity, detail);
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
