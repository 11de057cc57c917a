// The main window as a desktop user finds it, on the offscreen platform: what each log
// line offers (its colour, tooltip and context menu) after a pass with a converted and a
// failed file, files dropped onto the window, the help key and a link when nothing on the
// desktop can open them, and auto-start for a user who may not write the machine's list.
#include <sys/stat.h>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QToolTip>
#include <QUrl>
#include <chrono>
#include <thread>

#include "ServerWindowFixture.h"
#include "about/AboutText.h"
#include "about/window/frmAbout.h"
#include "platform/AutostartEntries.h"
#include "server/FailedFiles.h"
#include "server/ScanCycle.h"
#include "server/window/LogBox.h"

namespace vd::test {
namespace {

class DesktopWindowTest : public ServerWindowFixture {
 protected:
  static LogBox* logBox(Form1& form) { return form.findChild<LogBox*>("txtStatus"); }
  // Where a line of the box is shown, in its viewport.
  static QPoint lineAt(LogBox* box, int line) {
    const QTextBlock block = box->document()->findBlockByNumber(line);
    return box->cursorRect(QTextCursor(block)).center() + QPoint(8, 0);
  }
  // The colour a line is painted in.
  static QColor lineColour(LogBox* box, int line) {
    const QTextBlock block = box->document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
      if (range.format.hasProperty(QTextFormat::ForegroundBrush)) return range.format.foreground().color();
    }
    return box->palette().color(QPalette::Text);
  }
  // The line's menu, as a right click on it opens it.
  static QMenu* openLineMenu(LogBox* box, int line) {
    const QPoint at = lineAt(box, line);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, box->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(box->viewport(), &click);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
  }
  // The names of the line's own actions, in the menu's order (the box's standard ones
  // follow a separator).
  static std::vector<std::string> actionNames(const QMenu* menu) {
    std::vector<std::string> names;
    for (const QAction* action : menu->actions()) {
      if (action->isSeparator()) break;
      names.push_back(action->objectName().toStdString());
    }
    return names;
  }
  // Runs one action of a line's menu and returns what it had opened.
  std::vector<std::string> runLineAction(LogBox* box, int line, const char* name) {
    QMenu* menu = openLineMenu(box, line);
    EXPECT_NE(menu, nullptr) << "no menu on line " << line;
    if (menu == nullptr) return {};
    opener.opened.clear();
    QAction* action = menu->findChild<QAction*>(name);
    EXPECT_NE(action, nullptr) << name;
    if (action != nullptr) action->trigger();
    menu->close();
    return opener.opened;
  }
  static std::string toolTipOf(LogBox* box, int line) {
    const QPoint at = lineAt(box, line);
    QHelpEvent hover(QEvent::ToolTip, at, box->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(box->viewport(), &hover);
    return QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText().toStdString();
  }
  static std::size_t indexOf(const std::vector<std::string>& lines, const std::string& line) {
    const auto found = std::find(lines.begin(), lines.end(), line);
    EXPECT_NE(found, lines.end()) << line;
    return static_cast<std::size_t>(found - lines.begin());
  }
  // Drags files over a widget of the window and drops them there; true when the drag was taken.
  static bool dropOnto(QWidget* target, const QMimeData& data) {
    const QPointF at(2, 2);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    return drop.isAccepted();
  }
  static std::unique_ptr<QMimeData> filesData(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
  }
};

TEST_F(DesktopWindowTest, LinesOfAConvertedAndAFailedFileOpenWhatTheyNameAndTheFailedOnesAreInTheErrorColour) {
  storeDirectories("1");
  engine.outcomeByExtension["doc"] = EngineOutcome::Raise;
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.doc"), "b");
  auto form = makeForm();
  form->show();
  pump.onPause = [&](int pause) {
    if (pause == 2) clickStop(*form);
  };
  button(*form, "Command1")->click();

  const std::vector<std::string> lines = logLines(*form);
  ASSERT_EQ(lines.size(), 4u);
  const std::size_t converted = indexOf(lines, arrow("a.txt"));
  const std::size_t failed = indexOf(lines, arrow("b.doc"));
  ASSERT_EQ(lines[failed + 1], kUnableToCreatePdf);
  const std::string& reasonLine = lines[failed + 2];
  LogBox* box = logBox(*form);
  const QColor error = LogBox::errorColour(box->palette());
  EXPECT_NE(error, box->palette().color(QPalette::Text));
  for (std::size_t line = 0; line < lines.size(); ++line) {
    EXPECT_EQ(lineColour(box, static_cast<int>(line)) == error, line >= failed && line <= failed + 2) << lines[line];
  }

  // The converted file's line: its PDF and the output folder; copy takes the line as shown.
  const int convertedLine = static_cast<int>(converted);
  EXPECT_EQ(actionNames(openLineMenu(box, convertedLine)), (std::vector<std::string>{"copyLine", "openPdf", "openOutputFolder"}));
  QApplication::activePopupWidget()->close();
  EXPECT_EQ(runLineAction(box, convertedLine, "openPdf"), std::vector<std::string>{out("a.pdf")});
  EXPECT_NE(PdfText(out("a.pdf")).find("Converted a.txt"), std::string::npos);
  EXPECT_EQ(runLineAction(box, convertedLine, "openOutputFolder"), std::vector<std::string>{outputDir});
  runLineAction(box, convertedLine, "copyLine");
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), arrow("a.txt"));

  // Each line of the failed file: the failed folder and the note that says why, which is
  // there and holds the reason the log gave.
  const std::string note = inputDir + "/failed/b.doc.error.txt";
  for (std::size_t line = failed; line <= failed + 2; ++line) {
    const int at = static_cast<int>(line);
    EXPECT_EQ(actionNames(openLineMenu(box, at)),
              (std::vector<std::string>{"copyLine", "openOutputFolder", "openFailedFolder", "openFailureNote"}));
    EXPECT_NE(QApplication::activePopupWidget()->findChild<QAction*>("openFailureNote")->text().toStdString().find(
                  "b.doc.error.txt"),
              std::string::npos);
    QApplication::activePopupWidget()->close();
    EXPECT_EQ(runLineAction(box, at, "openFailedFolder"), std::vector<std::string>{inputDir + "/failed"});
    EXPECT_EQ(runLineAction(box, at, "openFailureNote"), std::vector<std::string>{note});
  }
  EXPECT_EQ(ReadBytes(inputDir + "/failed/b.doc"), "b");
  EXPECT_EQ(ReadBytes(note), reasonLine.substr(std::string(kReasonPrefix).size()) + "\r\n");

  // The tooltip shows the whole line; the failed file's other lines also say why.
  const std::string reasonTip = toolTipOf(box, static_cast<int>(failed));
  EXPECT_NE(reasonTip.find(arrow("b.doc")), std::string::npos) << reasonTip;
  EXPECT_NE(reasonTip.find("could not convert"), std::string::npos) << reasonTip;
  EXPECT_NE(toolTipOf(box, convertedLine).find(arrow("a.txt")), std::string::npos);
  EXPECT_EQ(toolTipOf(box, convertedLine).find("Reason"), std::string::npos);

  // A line about no file still copies and leads to the output folder; the texts stay as they were.
  form->appendLog("a line about no file\r\n");
  EXPECT_EQ(actionNames(openLineMenu(box, 4)), (std::vector<std::string>{"copyLine", "openOutputFolder"}));
  QApplication::activePopupWidget()->close();
  EXPECT_EQ(logLines(*form).size(), 5u);
  EXPECT_TRUE(std::equal(lines.begin(), lines.end(), logLines(*form).begin()));
}

TEST_F(DesktopWindowTest, FilesDroppedAreCopiedIntoTheInputFolderUnderFreeNames) {
  storeDirectories("1");
  const std::string desk = environment.path("home/desk");
  ASSERT_TRUE(ensureDirectory(desk + "/folder"));
  WriteBytes(desk + "/a.txt", "dropped a");
  WriteBytes(desk + "/b.ps", "dropped b");
  WriteBytes(desk + "/c.pdf", "a PDF");
  WriteSettledFile(in("a.txt"), "there before");
  auto form = makeForm();
  form->show();

  // Text dragged over the window is no file: the caption box takes it as ever.
  QMimeData words;
  words.setText("words");
  EXPECT_FALSE(dropOnto(form.get(), words));
  // Two files dropped over the caption box, which would take a drop as text.
  EXPECT_TRUE(dropOnto(form->findChild<QLineEdit*>("txtWinCaption"), *filesData({desk + "/a.txt", desk + "/b.ps"})));
  EXPECT_EQ(boxText(*form, "txtWinCaption"), "save pdf file as");
  // Copied whole under a name nothing had, no temporaries left; the dropped files stay as they were.
  EXPECT_EQ(DirectoryEntries(inputDir), (std::vector<std::string>{"a.txt", "a_1.txt", "b.ps"}));
  EXPECT_EQ(ReadBytes(in("a.txt")), "there before");
  EXPECT_EQ(ReadBytes(in("a_1.txt")), "dropped a");
  EXPECT_EQ(ReadBytes(in("b.ps")), "dropped b");
  EXPECT_EQ(DirectoryEntries(desk), (std::vector<std::string>{"a.txt", "b.ps", "c.pdf", "folder"}));
  EXPECT_EQ(ReadBytes(desk + "/a.txt"), "dropped a");
  // What the scan would never convert is not copied, and the log says why.
  EXPECT_TRUE(dropOnto(form.get(), *filesData({desk + "/folder", desk + "/c.pdf", in("a.txt")})));
  EXPECT_EQ(DirectoryEntries(inputDir), (std::vector<std::string>{"a.txt", "a_1.txt", "b.ps"}));
  EXPECT_EQ(logLines(*form),
            (std::vector<std::string>{
                desk + "/a.txt copied to " + in("a_1.txt"), desk + "/b.ps copied to " + in("b.ps"),
                desk + "/folder is not copied into " + inputDir + ": it is a folder; only files are converted.",
                desk + "/c.pdf is not copied into " + inputDir + ": the scan leaves PDFs and programs alone.",
                in("a.txt") + " is not copied into " + inputDir + ": it is in the input folder already."}));
}

TEST_F(DesktopWindowTest, HelpKeyAndAboutLinksSayWhenNothingOnTheDesktopCanOpenThem) {
  // The desktop's own opener (the fixture puts its recording one back afterwards), with
  // nothing to run it with on the search path.
  Seam<DocumentOpener>::swap(nullptr);
  const std::string tools = environment.path("home/tools");
  ASSERT_TRUE(ensureDirectory(tools));
  environment.set("PATH", tools);
  const std::string program = environment.path("home/program");
  ASSERT_TRUE(ensureDirectory(program));
  environment.set("VELLUMDOCK_PROGRAM_DIR", program);
  WriteBytes(program + "/vellumdk.pdf", "%PDF-1.4\n");
  storeDirectories("1");
  auto form = makeForm();
  form->show();
  QApplication::setActiveWindow(form.get());
  const auto pressHelpKey = [&] {
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(form->findChild<QLineEdit*>("txtWinCaption"), &f1);
  };
  pressHelpKey();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, program + "/vellumdk.pdf cannot be opened: no program that opens files and links "
                                              "was found on this desktop (xdg-open is not installed).");
  EXPECT_EQ(messages.shown[0].title, "Vellumdock");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);

  // An opener that finds no application says so when it ends: the message names the address.
  WriteBytes(tools + "/xdg-open", "#!/bin/sh\nexit 4\n");
  ASSERT_EQ(chmod((tools + "/xdg-open").c_str(), 0755), 0);
  frmAbout about(programDir());
  about.show();
  LinkLabel* web = about.findChild<LinkLabel*>("Label2");
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), web->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), web->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(web, &press);
  QCoreApplication::sendEvent(web, &release);
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (messages.shown.size() < 2 && std::chrono::steady_clock::now() < giveUp) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, WebLink() + " cannot be opened: no program on this desktop opens it.");

  // A help file that is not there is named as such.
  about.close();
  QApplication::setActiveWindow(form.get());
  ASSERT_EQ(unlink((program + "/vellumdk.pdf").c_str()), 0);
  pressHelpKey();
  ASSERT_EQ(messages.shown.size(), 3u);
  EXPECT_EQ(messages.shown[2].text, program + "/vellumdk.pdf cannot be opened: it does not exist.");
}

TEST_F(DesktopWindowTest, AutoStartGoesToTheUsersOwnListWhenTheMachinesIsClosedAndSaysWhenNeitherCanBeWritten) {
  installPrinter("Adobe PDF");
  const std::string machineList = environment.path("xdg/autostart");
  const std::string userList = environment.path("config/autostart");
  const std::string userEntry = userList + "/Vellumdock.desktop";
  ASSERT_EQ(chmod(environment.path("xdg").c_str(), 0555), 0);
  auto form = makeForm();
  QCheckBox* autoRun = option(*form, "chkAutoRun");

  // The user's own entry starts this program with "m"; nothing is said.
  autoRun->click();
  EXPECT_EQ(stored("AutoRun"), "1");
  EXPECT_NE(ReadBytes(userEntry).find("\nExec=" + programDir() + "/vellumdk m\n"), std::string::npos) << ReadBytes(userEntry);
  EXPECT_EQ(AutoStartEntryInForce(), AutoStartCommand());
  EXPECT_FALSE(FileExistsOnDisk(machineList));
  EXPECT_EQ(form->statusText(), kIdlePrompt);
  autoRun->click();
  EXPECT_FALSE(FileExistsOnDisk(userEntry));
  EXPECT_EQ(AutoStartEntryInForce(), std::nullopt);

  // An administrator's entry this user may not remove is switched off for this user alone.
  ASSERT_EQ(chmod(environment.path("xdg").c_str(), 0755), 0);
  ASSERT_EQ(AutostartEntries(machineList).write("Vellumdock", AutoStartCommand()), 0);
  ASSERT_EQ(chmod(machineList.c_str(), 0555), 0);
  autoRun->click();
  autoRun->click();
  std::string administrators;
  EXPECT_EQ(AutostartEntries(machineList).read("Vellumdock", administrators), 0);
  EXPECT_EQ(administrators, AutoStartCommand());
  EXPECT_NE(ReadBytes(userEntry).find("\nHidden=true\n"), std::string::npos) << ReadBytes(userEntry);
  EXPECT_EQ(AutoStartEntryInForce(), std::nullopt);
  EXPECT_TRUE(logLines(*form).empty());

  // Neither list can be written: the status line and the log say so, at a click and when
  // the window starts with the option set.
  ASSERT_EQ(unlink(userEntry.c_str()), 0);
  ASSERT_EQ(chmod(userList.c_str(), 0555), 0);
  ASSERT_EQ(unlink((machineList + "/Vellumdock.desktop").c_str()), 0);
  const std::string problem = "The auto-start entry cannot be written: " + machineList + " cannot be written, and " +
                              userList + " cannot be written.";
  autoRun->click();
  EXPECT_EQ(stored("AutoRun"), "1");
  EXPECT_EQ(form->statusText(), problem);
  EXPECT_EQ(logLines(*form), std::vector<std::string>{problem});
  EXPECT_EQ(lineColour(logBox(*form), 0), LogBox::errorColour(logBox(*form)->palette()));
  form = makeForm();
  EXPECT_TRUE(option(*form, "chkAutoRun")->isChecked());
  EXPECT_EQ(form->statusText(), problem);
  EXPECT_EQ(logLines(*form), std::vector<std::string>{problem});
}

}  // namespace
}  // namespace vd::test
