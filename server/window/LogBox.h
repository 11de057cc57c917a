// The log box txtStatus: the lines the program wrote, read-only, as written. Each line
// knows the file of the pass it is about: its tooltip shows the whole line (a long reason
// is cut at the box's edge) and a failed file's reason, its context menu copies it or opens
// what it names, and the lines of a failed file are in the theme's error colour.
#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <memory>
#include <string>

#include "server/window/ServerView.h"

class QMenu;
class QSyntaxHighlighter;

namespace vd {

// The box keeps this many of the newest lines; a server runs for months.
inline constexpr std::size_t kLogBoxLines = 10000;
// The box's first line once lines have been dropped, followed by the log file's path.
inline constexpr const char* kLogLinesDroppedNotice = "Older lines have been dropped from this box; every line is in ";

class LogBox : public QPlainTextEdit {
 public:
  // outputFolder: the folder a line's "open the output folder" opens when its file named
  // none; logFilePath: where every line is kept, for the notice of dropped lines.
  LogBox(std::function<std::string()> outputFolder, std::function<std::string()> logFilePath, QWidget* parent);

  void appendLine(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure);
  // The file's outcome changed: its lines take their colour.
  void fileChanged(const LoggedFile& file);
  void clearLines();
  // The lines as shown, each ending with CR LF.
  std::string linesText() const;

  // The error colour for a palette: a red that reads on its base colour.
  static QColor errorColour(const QPalette& palette);

 protected:
  bool viewportEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Keeps the newest kLogBoxLines lines, under a notice once any are dropped.
  void dropOldestLines();
  QMenu* menuForLine(const QTextBlock& block);
  QString toolTipFor(const QTextBlock& block) const;

  std::function<std::string()> outputFolder_;
  std::function<std::string()> logFilePath_;
  QSyntaxHighlighter* colours_ = nullptr;
  bool linesDropped_ = false;
};

}  // namespace vd
