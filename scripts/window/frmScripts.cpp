#include "scripts/window/frmScripts.h"

#include <QApplication>
#include <QByteArray>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "common/Locations.h"
#include "scripts/FolderBrowsing.h"
#include "scripts/NetworkPaths.h"

namespace vd {
namespace {

constexpr int kPathRole = Qt::UserRole;

template <class Widget, class... Args>
Widget* named(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setObjectName(name);
  return widget;
}

// Names are bytes in the file system's encoding; the widgets show them decoded and the
// builder keeps the bytes.
QString shown(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
std::string pathOf(const QVariant& value) { return value.toByteArray().toStdString(); }

// A button that only shows or hides keeps its place, so the others do not move.
void keepPlaceWhenHidden(QWidget* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
}

void fillList(QListWidget* list, const std::vector<std::string>& texts) {
  const QSignalBlocker quiet(list);
  list->clear();
  for (const std::string& text : texts) list->addItem(shown(text));
}

void selectRow(QListWidget* list, int row) {
  const QSignalBlocker quiet(list);
  if (row < 0) {
    list->setCurrentRow(-1);
    list->clearSelection();
  } else {
    list->setCurrentRow(row);
  }
}

}  // namespace

frmScripts::frmScripts(QWidget* parent) : QDialog(parent) {
  setObjectName("frmScripts");
  setWindowTitle("Script File Builder - build a script file of a list of files from which a single PDF file can be created");
  setModal(true);
  createControls();
  arrangeControls();
  connectHandlers();
  chkUNC_->setChecked(builder_.uncPaths());
  fillDrives();
  builder_.changeDirectory(programDir());
  showFolder();
  refresh();
}

void frmScripts::createControls() {
  Drive1_ = named<QComboBox>(this, "Drive1");
  Drive1_->setToolTip(" Select drive ");
  Dir1_ = named<QTreeWidget>(this, "Dir1");
  Dir1_->setToolTip(" Select directory ");
  Dir1_->setHeaderHidden(true);
  Dir1_->setRootIsDecorated(false);
  Dir1_->setIndentation(12);
  Dir1_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Dir1_->header()->setStretchLastSection(false);
  List1_ = named<QListWidget>(this, "List1");
  Label1_ = named<QLabel>(this, "Label1");
  Label2_ = named<QLabel>(this, "Label2");
  cmdAdd_ = named<QPushButton>(this, "cmdAdd", "&Add file to list");
  List2_ = named<QListWidget>(this, "List2");
  cmdDown_ = named<QPushButton>(this, "cmdDown");
  cmdDown_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
  cmdUp_ = named<QPushButton>(this, "cmdUp");
  cmdUp_->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
  for (QPushButton* arrow : {cmdDown_, cmdUp_}) {
    arrow->setFixedSize(33, 33);
    arrow->setIconSize(QSize(20, 20));
  }
  chkUNC_ = named<QCheckBox>(this, "chkUNC", "UNC Paths");
  lblTot_ = named<QLabel>(this, "lblTot");
  lblTot_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  cmdDelete_ = named<QPushButton>(this, "cmdDelete", "&Delete");
  cmdClear_ = named<QPushButton>(this, "cmdClear", "&Clear List");
  cmdSave_ = named<QPushButton>(this, "cmdSave", "&Save list to file");
  for (QPushButton* button : {cmdAdd_, cmdDown_, cmdUp_, cmdDelete_, cmdClear_, cmdSave_}) {
    button->setAutoDefault(false);
    keepPlaceWhenHidden(button);
  }
}

void frmScripts::arrangeControls() {
  auto* left = new QVBoxLayout;
  left->addWidget(Drive1_);
  left->addWidget(Dir1_, 3);
  left->addWidget(List1_, 4);
  auto* fileRow = new QGridLayout;
  fileRow->addWidget(Label1_, 0, 0);
  fileRow->addWidget(Label2_, 1, 0);
  fileRow->addWidget(cmdAdd_, 0, 1, 2, 1, Qt::AlignTop);
  fileRow->setColumnStretch(0, 1);
  left->addLayout(fileRow);

  auto* right = new QVBoxLayout;
  right->addWidget(List2_, 1);
  auto* commands = new QGridLayout;
  commands->addWidget(cmdDown_, 0, 0, 2, 1, Qt::AlignBottom);
  commands->addWidget(cmdUp_, 0, 1, 2, 1, Qt::AlignBottom);
  commands->addWidget(chkUNC_, 0, 2);
  commands->addWidget(lblTot_, 0, 3, 1, 2);
  commands->addWidget(cmdDelete_, 1, 2);
  commands->addWidget(cmdClear_, 1, 3);
  commands->addWidget(cmdSave_, 1, 4);
  commands->setColumnMinimumWidth(1, 33 + 8);
  right->addLayout(commands);

  auto* columns = new QHBoxLayout(this);
  columns->addLayout(left, 1);
  columns->addLayout(right, 1);
  resize(QSize(680, 420).expandedTo(minimumSizeHint()));
}

void frmScripts::connectHandlers() {
  connect(Drive1_, &QComboBox::activated, this, [this](int index) {
    builder_.changeDrive(pathOf(Drive1_->itemData(index, kPathRole)));
    showFolder();
    refresh();
  });
  connect(Dir1_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    builder_.changeDirectory(pathOf(item->data(0, kPathRole)));
    showFolder();
    refresh();
  });
  connect(List1_, &QListWidget::currentRowChanged, this, [this](int row) {
    builder_.selectFile(row);
    refresh();
  });
  // A builder step that changes what the lists show, followed by showing it.
  const auto thenRefresh = [this](void (ScriptBuilder::*step)()) {
    return [this, step] {
      (builder_.*step)();
      refresh();
    };
  };
  connect(List1_, &QListWidget::itemDoubleClicked, this, thenRefresh(&ScriptBuilder::addSelectedFile));
  connect(cmdAdd_, &QPushButton::clicked, this, thenRefresh(&ScriptBuilder::addSelectedFile));
  connect(List2_, &QListWidget::currentRowChanged, this, [this](int row) {
    builder_.selectEntry(row);
    refresh();
  });
  connect(List2_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { builder_.openEntry(List2_->row(item)); });
  connect(cmdDelete_, &QPushButton::clicked, this, thenRefresh(&ScriptBuilder::deleteEntry));
  connect(cmdUp_, &QPushButton::clicked, this, thenRefresh(&ScriptBuilder::moveUp));
  connect(cmdDown_, &QPushButton::clicked, this, thenRefresh(&ScriptBuilder::moveDown));
  connect(cmdClear_, &QPushButton::clicked, this, thenRefresh(&ScriptBuilder::clearAsked));
  connect(cmdSave_, &QPushButton::clicked, this, [this] {
    builder_.save([this](bool busy) {
      if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
      } else {
        QApplication::restoreOverrideCursor();
      }
    });
    refresh();
  });
  connect(chkUNC_, &QCheckBox::clicked, this, [this](bool on) { builder_.setUncPaths(on); });
}

void frmScripts::fillDrives() {
  const QSignalBlocker quiet(Drive1_);
  Drive1_->clear();
  for (const DriveEntry& drive : MountedDrives()) {
    Drive1_->addItem(shown(drive.label), QByteArray::fromStdString(drive.root));
  }
}

// The folder list: the root and each folder down to the one browsed, open, with that
// folder's subfolders below it; the drive list shows the drive that holds it.
void frmScripts::showFolder() {
  const QSignalBlocker quiet(Dir1_);
  Dir1_->clear();
  QTreeWidgetItem* parent = nullptr;
  QTreeWidgetItem* current = nullptr;
  for (const FolderEntry& folder : FolderTree(builder_.directory())) {
    auto* item = parent == nullptr ? new QTreeWidgetItem(Dir1_) : new QTreeWidgetItem(parent);
    item->setText(0, shown(folder.name));
    item->setData(0, kPathRole, QByteArray::fromStdString(folder.path));
    item->setIcon(0, style()->standardIcon(folder.open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon));
    if (folder.open) {
      parent = item;
      current = item;
    }
  }
  Dir1_->expandAll();
  if (current != nullptr) {
    Dir1_->setCurrentItem(current);
    Dir1_->scrollToItem(current);
  }
  const int drive = Drive1_->findData(QByteArray::fromStdString(DriveOfPath(builder_.directory())), kPathRole);
  if (drive >= 0) {
    const QSignalBlocker quietDrives(Drive1_);
    Drive1_->setCurrentIndex(drive);
  }
}

void frmScripts::refresh() {
  if (shownFilesRevision_ != builder_.filesRevision()) {
    fillList(List1_, builder_.files());
    shownFilesRevision_ = builder_.filesRevision();
  }
  selectRow(List1_, builder_.selectedFile());
  Label1_->setText(shown(builder_.fileDetails()));
  Label2_->setText(shown(builder_.filesLabel()));
  List1_->setToolTip(shown(builder_.filesTooltip()));
  cmdAdd_->setVisible(builder_.addVisible());

  if (shownEntriesRevision_ != builder_.entriesRevision()) {
    fillList(List2_, builder_.entries());
    shownEntriesRevision_ = builder_.entriesRevision();
  }
  selectRow(List2_, builder_.selectedEntry());
  lblTot_->setText(shown(builder_.totalLabel()));
  List2_->setToolTip(shown(builder_.entriesTooltip()));
  for (QPushButton* button : {cmdDelete_, cmdUp_, cmdDown_}) button->setVisible(builder_.entryButtonsVisible());
  for (QPushButton* button : {cmdClear_, cmdSave_}) button->setVisible(builder_.listButtonsVisible());
}

void ShowScriptBuilder(QWidget* owner) {
  frmScripts window(owner);
  window.exec();
}

}  // namespace vd
