// The script builder's window: drives, folders and files on the left, the script being
// built on the right. Every control keeps its old name; the rules live in ScriptBuilder,
// and the window shows its state after every step.
#pragma once

#include <QDialog>
#include <cstdint>

#include "scripts/ScriptBuilder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace vd {

class frmScripts : public QDialog {
 public:
  explicit frmScripts(QWidget* parent = nullptr);

  const ScriptBuilder& builder() const { return builder_; }

 private:
  void createControls();
  void arrangeControls();
  void connectHandlers();
  void fillDrives();
  void showFolder();
  // Shows the builder's state: lists only when their content changed, then the labels,
  // tooltips, selections and the buttons that go with them.
  void refresh();

  ScriptBuilder builder_;
  std::uint64_t shownFilesRevision_ = 0;
  std::uint64_t shownEntriesRevision_ = 0;

  QComboBox* Drive1_ = nullptr;
  QTreeWidget* Dir1_ = nullptr;
  QListWidget* List1_ = nullptr;
  QLabel* Label1_ = nullptr;
  QLabel* Label2_ = nullptr;
  QPushButton* cmdAdd_ = nullptr;
  QListWidget* List2_ = nullptr;
  QPushButton* cmdDown_ = nullptr;
  QPushButton* cmdUp_ = nullptr;
  QCheckBox* chkUNC_ = nullptr;
  QLabel* lblTot_ = nullptr;
  QPushButton* cmdDelete_ = nullptr;
  QPushButton* cmdClear_ = nullptr;
  QPushButton* cmdSave_ = nullptr;
};

// Opens the script builder as a modal window of owner; it is discarded when closed, so
// every opening starts with an empty script and the settings as stored.
void ShowScriptBuilder(QWidget* owner);

}  // namespace vd
