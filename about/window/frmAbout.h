// The about window: name, version, legal notice and description of this build, and three
// links (mail to the makers, their web page, the help file). Modal; OK, Enter or Escape
// closes it.
#pragma once

#include <QDialog>
#include <QLabel>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace vd {

// A label that opens its target when clicked: underlined, blue, red while the mouse moves
// over it, until the mouse moves over the window's background again.
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& text, std::string target, QWidget* parent);
  void showIdle();
  void showHovered();
  bool hovered() const { return hovered_; }
  const std::string& target() const { return target_; }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void setColour(Qt::GlobalColor colour);

  std::string target_;
  bool hovered_ = false;
};

class frmAbout : public QDialog {
 public:
  // programFolder: where the help file lives.
  frmAbout(const std::string& programFolder, QWidget* parent = nullptr);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  LinkLabel* Label1_ = nullptr;
  LinkLabel* Label2_ = nullptr;
  LinkLabel* Label4_ = nullptr;
  QPlainTextEdit* Text1_ = nullptr;
  QPushButton* Command1_ = nullptr;
};

}  // namespace vd
