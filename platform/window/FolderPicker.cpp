#include "platform/window/FolderPicker.h"

#include <QFileDialog>

namespace vd {
namespace {

class QtFolderPicker : public FolderPicker {
 public:
  std::string browseForFolder(QWidget* owner, const std::string& title, const std::string& startFolder) override {
    // Only folders of the file system can be picked; the dialog's path line shows the
    // folder selected, as the operator moves through the tree.
    return QFileDialog::getExistingDirectory(owner, QString::fromStdString(title), QString::fromStdString(startFolder),
                                             QFileDialog::ShowDirsOnly)
        .toStdString();
  }
};

}  // namespace

template <>
FolderPicker& Seam<FolderPicker>::defaultInstance() {
  static QtFolderPicker instance;
  return instance;
}

}  // namespace vd
