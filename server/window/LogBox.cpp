#include "server/window/LogBox.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolTip>

#include "common/Paths.h"
#include "platform/DocumentOpener.h"
#include "server/FailedFiles.h"
#include "server/FailureReason.h"

namespace vd {
namespace {

// How far back the lines of a file whose outcome changed are looked for: its lines follow
// one another at the end of the box, with at most a few lines of dropped files among them.
constexpr int kLinesLookedBack = 1000;

class LineData : public QTextBlockUserData {
 public:
  LineData(std::shared_ptr<const LoggedFile> file, bool saysFailure) : file(std::move(file)), saysFailure(saysFailure) {}
  std::shared_ptr<const LoggedFile> file;
  bool saysFailure;
};

const LineData* lineData(const QTextBlock& block) { return static_cast<const LineData*>(block.userData()); }

bool shownAsFailure(const QTextBlock& block) {
  const LineData* data = lineData(block);
  return data != nullptr &&
         (data->saysFailure || (data->file != nullptr && data->file->outcome == LoggedFile::Outcome::Failed));
}

// The colour is laid over the text, not stored in it: it follows the file's outcome and the
// theme, and the text stays exactly as written.
class FailureColours : public QSyntaxHighlighter {
 public:
  explicit FailureColours(QPlainTextEdit* box) : QSyntaxHighlighter(box->document()), box_(box) {}

 protected:
  void highlightBlock(const QString& text) override {
    if (!shownAsFailure(currentBlock())) return;
    QTextCharFormat failure;
    failure.setForeground(LogBox::errorColour(box_->palette()));
    setFormat(0, static_cast<int>(text.size()), failure);
  }

 private:
  QPlainTextEdit* box_;
};

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

LogBox::LogBox(std::function<std::string()> outputFolder, std::function<std::string()> logFilePath, QWidget* parent)
    : QPlainTextEdit(parent), outputFolder_(std::move(outputFolder)), logFilePath_(std::move(logFilePath)) {
  setReadOnly(true);
  // Nobody can undo what the program wrote; an undo history would grow with every line.
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  colours_ = new FailureColours(this);
}

QColor LogBox::errorColour(const QPalette& palette) {
  return palette.color(QPalette::Base).lightness() >= 128 ? QColor(0xb0, 0x10, 0x10) : QColor(0xff, 0x73, 0x73);
}

void LogBox::appendLine(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure) {
  QString shown = text(line);
  shown.remove('\r');
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  const int first = end.blockNumber();
  end.insertText(shown + '\n');
  // A line holding line breaks became several lines: each is about the same file.
  for (int number = first; number < end.blockNumber(); ++number) {
    QTextBlock block = document()->findBlockByNumber(number);
    block.setUserData(new LineData(file, saysFailure));
    colours_->rehighlightBlock(block);
  }
  dropOldestLines();
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogBox::dropOldestLines() {
  QTextDocument* lines = document();
  // The lines shown: every block but the notice and the one after the last line end.
  const auto keptLines = [&] { return static_cast<std::size_t>(lines->blockCount()) - 1 - (linesDropped_ ? 1 : 0); };
  if (keptLines() <= kLogBoxLines) return;
  if (!linesDropped_) {
    linesDropped_ = true;
    QTextCursor top(lines);
    top.insertText(text(kLogLinesDroppedNotice + logFilePath_()) + '\n');
    // The notice's line end split the first line's block: what the line is about goes with
    // the line, not with the notice.
    QTextBlock notice = lines->firstBlock();
    if (const LineData* data = lineData(notice)) {
      notice.next().setUserData(new LineData(*data));
      notice.setUserData(nullptr);
      colours_->rehighlightBlock(notice);
      colours_->rehighlightBlock(notice.next());
    }
  }
  while (keptLines() > kLogBoxLines) {
    // The first line under the notice goes, with its line end.
    QTextCursor oldest(lines->findBlockByNumber(1));
    oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
  }
}

void LogBox::fileChanged(const LoggedFile& file) {
  bool seen = false;
  int looked = 0;
  for (QTextBlock block = document()->lastBlock(); block.isValid() && looked < kLinesLookedBack;
       block = block.previous(), ++looked) {
    const LineData* data = lineData(block);
    if (data != nullptr && data->file.get() == &file) {
      seen = true;
      colours_->rehighlightBlock(block);
    } else if (seen && data != nullptr && data->file != nullptr) {
      break;  // the line of an earlier file: this file's lines are all behind
    }
  }
}

void LogBox::clearLines() {
  linesDropped_ = false;
  clear();
}

std::string LogBox::linesText() const {
  // The box keeps the lines without their CR; each line end was a CR LF.
  QString shown = toPlainText();
  shown.replace('\n', QStringLiteral("\r\n"));
  return shown.toStdString();
}

QString LogBox::toolTipFor(const QTextBlock& block) const {
  if (block.text().isEmpty()) return {};
  QString tip = block.text().toHtmlEscaped();
  const LineData* data = lineData(block);
  if (data != nullptr && data->file != nullptr && data->file->outcome == LoggedFile::Outcome::Failed &&
      !block.text().startsWith(kReasonPrefix)) {
    tip += "<br>" + text(ReasonLine(data->file->reason)).toHtmlEscaped();
  }
  // As rich text the tip wraps instead of running off the screen.
  return "<p style='white-space:pre-wrap'>" + tip + "</p>";
}

bool LogBox::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = toolTipFor(cursorForPosition(help->pos()).block());
    if (tip.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), tip, viewport());
    }
    return true;
  }
  return QPlainTextEdit::viewportEvent(event);
}

void LogBox::contextMenuEvent(QContextMenuEvent* event) {
  const QTextBlock block = cursorForPosition(event->pos()).block();
  if (block.text().isEmpty()) {
    QPlainTextEdit::contextMenuEvent(event);
    return;
  }
  QMenu* menu = menuForLine(block);
  // Not exec(): the scan goes on converting while the menu is open.
  menu->popup(event->globalPos());
}

QMenu* LogBox::menuForLine(const QTextBlock& block) {
  QMenu* menu = createStandardContextMenu();  // a child of the box
  menu->setObjectName("logLineMenu");
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QAction* standard = menu->actions().value(0);
  const auto add = [&](const char* name, const QString& caption, std::function<void()> act) {
    auto* action = new QAction(caption, menu);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, std::move(act));
    menu->insertAction(standard, action);
  };
  const QString line = block.text();
  add("copyLine", "&Copy line", [line] { QGuiApplication::clipboard()->setText(line); });
  const LineData* data = lineData(block);
  const std::shared_ptr<const LoggedFile> file = data != nullptr ? data->file : nullptr;
  const bool converted = file != nullptr && file->outcome == LoggedFile::Outcome::Converted;
  const bool failed = file != nullptr && file->outcome == LoggedFile::Outcome::Failed;
  if (converted) add("openPdf", "Open the &PDF", [pdf = file->output] { openOrSayWhyNot(pdf); });
  const std::string outputFolder = file != nullptr && !file->output.empty() ? folderOf(file->output) : outputFolder_();
  add("openOutputFolder", "Open the &output folder", [outputFolder] { openOrSayWhyNot(outputFolder); });
  if (failed) {
    const std::string keptIn =
        !file->keptPath.empty() ? folderOf(file->keptPath) : folderOf(file->input) + "/" + kFailedFolder;
    add("openFailedFolder", "Open the &failed folder", [keptIn] { openOrSayWhyNot(keptIn); });
    if (!file->notePath.empty()) {
      add("openFailureNote", "Show &why it failed (" + text(fileNameOf(file->notePath)) + ")",
          [note = file->notePath] { openOrSayWhyNot(note); });
    }
  }
  menu->insertSeparator(standard);
  return menu;
}

void LogBox::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) colours_->rehighlight();
}

}  // namespace vd
