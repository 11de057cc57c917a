// The main window on the offscreen platform: start-up with its settings and printer check,
// activation with the argument text, the boxes, options, browse, help and about handling,
// and the scan cycle as the window shows it (status line, file list, log box and log file,
// buttons, caption and pointer while scanning and after a stop).
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <set>

#include "ServerWindowFixture.h"
#include "about/AboutText.h"
#include "platform/FolderClaim.h"
#include "server/ScanCycle.h"
#include "server/window/ServerController.h"

namespace vd::test {
namespace {

using ServerWindowTest = ServerWindowFixture;

TEST_F(ServerWindowTest, FirstRunShowsTheDefaultsALaterRunWhatWasStoredAndTheBoxesStoreWhatTheOperatorSets) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  const std::string workDir = environment.path("home/Vellumdock");
  EXPECT_EQ(boxText(*form, "txtInput"), workDir);
  EXPECT_EQ(boxText(*form, "txtOutput"), workDir);
  EXPECT_TRUE(FileExistsOnDisk(workDir));
  EXPECT_TRUE(option(*form, "chkOverwrite")->isChecked());
  // Only the box whose state changed at start-up wrote its setting.
  EXPECT_EQ(stored("Overwrite"), "1");
  for (const char* key : {"InputDir", "OutputDir", "Seconds", "AutoRun", "Security", "WinCaption"}) {
    EXPECT_FALSE(stored(key).has_value()) << key;
  }
  // The start-up engine was made with the program's folder as its temporary path and dropped.
  EXPECT_EQ(engine.enginesCreated, 1);
  EXPECT_EQ(engine.enginesAlive, 0);
  EXPECT_EQ(engine.tempFilePaths, std::vector<std::string>{programDir() + "/"});

  // The next run shows the stored settings; those that cannot be read leave the design state.
  for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
           {"InputDir", "/srv/in box"}, {"Seconds", "abc"}, {"Overwrite", "x"}, {"Security", "1"}, {"WinCaption", "Save As"}}) {
    store(key, value);
  }
  form = makeForm();
  EXPECT_EQ(boxText(*form, "txtInput"), "/srv/in box");
  EXPECT_EQ(boxText(*form, "txtSeconds"), "0");
  EXPECT_EQ(form->controller().state().Seconds, 0);
  EXPECT_FALSE(option(*form, "chkOverwrite")->isChecked());
  EXPECT_EQ(stored("Overwrite"), "x");
  // Security set from the store: stored again, but no notice while loading.
  EXPECT_TRUE(option(*form, "chkSecurity")->isChecked());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(boxText(*form, "txtWinCaption"), "Save As");
  // Each value that cannot be read is said once in the log.
  EXPECT_EQ(form->logText(), "The setting Seconds=abc in " + settingsFilePath() +
                                 " cannot be read; 0 (no wait between passes) is used instead.\r\n"
                                 "The setting Overwrite=x in " + settingsFilePath() +
                                 " cannot be read; 0 (clear) is used instead.\r\n");

  // What is typed, and what is stored after it: numbers are taken, zero replaced, text ignored.
  for (const auto& [typed, kept] : std::vector<std::pair<std::string, std::string>>{
           {"0", "5"}, {"-3", "-3"}, {"2.5", "2"}, {" 3.5 ", "4"}, {"40000", "4"}, {"12", "12"}, {"abc", "12"}}) {
    leave(*form, "txtSeconds", typed);
    EXPECT_EQ(stored("Seconds"), kept) << typed;
  }
  EXPECT_EQ(boxText(*form, "txtSeconds"), "abc");
  EXPECT_EQ(form->controller().state().Seconds, 12);
  // A context menu or another application taking the focus does not leave the box.
  for (const Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
    leave(*form, "txtSeconds", "0", reason);
    EXPECT_EQ(boxText(*form, "txtSeconds"), "0");
    leave(*form, "txtWinCaption", " typing ", reason);
  }
  EXPECT_EQ(stored("Seconds"), "12");
  EXPECT_EQ(stored("WinCaption"), "Save As");
  // The caption is stored trimmed while the box keeps its spaces.
  leave(*form, "txtWinCaption", "  Save PDF File As  ");
  EXPECT_EQ(stored("WinCaption"), "Save PDF File As");
  EXPECT_EQ(form->controller().state().WinCaption, "Save PDF File As");
  EXPECT_EQ(boxText(*form, "txtWinCaption"), "  Save PDF File As  ");

  option(*form, "chkOverwrite")->click();
  EXPECT_EQ(stored("Overwrite"), "1");
  option(*form, "chkSecurity")->click();
  EXPECT_EQ(stored("Security"), "0");
  EXPECT_TRUE(messages.shown.empty());
  option(*form, "chkSecurity")->click();
  EXPECT_EQ(stored("Security"), "1");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Adobe PDF security settings will be applied to the generated PDF file.");

  // The browse buttons start the picker at the folder in force, under their title; a cancel
  // changes nothing.
  for (const auto& [name, box, key, title, picked] :
       std::vector<std::tuple<const char*, const char*, const char*, std::string, std::string>>{
           {"Command4", "txtInput", "InputDir", "Select Input Directory", "/srv/new in"},
           {"Command5", "txtOutput", "OutputDir", "Select Output Directory", "/srv/new out"}}) {
    for (const std::string& answer : {std::string(), picked}) {
      const std::string before = boxText(*form, box);
      const std::optional<std::string> storedBefore = stored(key);
      pickerRequests.clear();
      pickedFolder = answer;
      button(*form, name)->click();
      EXPECT_EQ(pickerRequests, std::vector<std::string>{title + "|" + before});
      EXPECT_EQ(boxText(*form, box), answer.empty() ? before : answer) << name << " " << answer;
      EXPECT_EQ(stored(key), answer.empty() ? storedBefore : answer) << name << " " << answer;
    }
  }
  EXPECT_EQ(form->controller().state().InputDir, "/srv/new in");
  EXPECT_EQ(form->controller().state().OutputDir, "/srv/new out");
}

TEST_F(ServerWindowTest, DistillerPrinterIsFoundByWholeNameInAnyCase) {
  const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
      {{}, true}, {{"Laser"}, true}, {{"Adobe PDF Pro", "Acrobat Distiller 5"}, true},
      {{"Laser", "adobe pdf"}, false}, {{"ACROBAT DISTILLER"}, false}};
  for (const auto& [printers, warned] : cases) {
    IsolatedEnvironment scratch;
    for (const std::string& printer : printers) installPrinter(printer);
    messages.shown.clear();
    auto form = makeForm();
    EXPECT_EQ(messages.shown.size(), warned ? 1u : 0u) << testing::PrintToString(printers);
    EXPECT_EQ(form->statusText(), kIdlePrompt);  // start-up goes on all the same
  }
}

TEST_F(ServerWindowTest, ActivationWithExactlyMMinimisesAndScans) {
  storeDirectories("1");
  WriteSettledFile(in("a.txt"), "a");
  const auto activate = [](Form1& form) {
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&form, &activation);
  };
  for (const char* argument : {"M", "-m", ""}) {
    auto form = makeForm(argument);
    form->show();
    QCoreApplication::processEvents();
    activate(*form);
    EXPECT_FALSE(form->isMinimized()) << argument;
    EXPECT_EQ(pump.pauses, 0) << argument;
  }
  EXPECT_TRUE(engine.calls.empty());

  auto form = makeForm("m");
  bool minimisedWhileScanning = false;
  pump.onPause = [&](int pause) {
    minimisedWhileScanning = form->isMinimized();
    if (pause % 2 == 0) clickStop(*form);
  };
  form->show();
  for (int i = 0; i < 50 && pump.pauses == 0; ++i) QCoreApplication::processEvents();
  if (pump.pauses == 0) activate(*form);  // some platforms activate a window only on request
  EXPECT_TRUE(minimisedWhileScanning);
  EXPECT_EQ(pump.pauses, 2);
  EXPECT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");

  // Returning from a message box (as after the security notice) is no activation of the
  // program's window: the stopped cycle stays stopped.
  QMessageBox notice;
  notice.show();
  QApplication::setActiveWindow(&notice);
  QApplication::setActiveWindow(form.get());
  EXPECT_EQ(pump.pauses, 2);
  // Coming back from another window of the program is, and scans again.
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  QApplication::setActiveWindow(form.get());
  EXPECT_EQ(pump.pauses, 4);
}

TEST_F(ServerWindowTest, HelpKeyOpensTheHelpFileOnlyWithoutModifiersAndTheAboutButtonTheAboutWindow) {
  storeDirectories("1");
  auto form = makeForm();
  form->show();
  QApplication::setActiveWindow(form.get());
  QLineEdit* focused = form->findChild<QLineEdit*>("txtWinCaption");
  focused->setFocus();
  const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(focused, &event);
  };
  const std::string helpFile = HelpFilePath(programDir());
  for (const auto& [key, modifiers, opens] : std::vector<std::tuple<Qt::Key, Qt::KeyboardModifiers, bool>>{
           {Qt::Key_F1, Qt::NoModifier, true}, {Qt::Key_F1, Qt::ShiftModifier, false},
           {Qt::Key_F1, Qt::ControlModifier, false}, {Qt::Key_F2, Qt::NoModifier, false}}) {
    opener.opened.clear();
    press(key, modifiers);
    EXPECT_EQ(opener.opened, opens ? std::vector<std::string>{helpFile} : std::vector<std::string>{})
        << key << " " << modifiers;
  }
  // During a scan the key works at the cycle's check points.
  opener.opened.clear();
  pump.onPause = [&](int pause) {
    if (pause == 1) press(Qt::Key_F1, Qt::NoModifier);
    if (pause == 2) clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(opener.opened, std::vector<std::string>{helpFile});

  // The about button opens the about window modally over the main window; OK closes it.
  bool modal = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (about == nullptr) return;
    modal = about->objectName() == "frmAbout" && about->isModal() && about->parentWidget() == form.get();
    about->findChild<QPushButton*>("Command1")->click();
  });
  button(*form, "cmdHelp")->click();
  EXPECT_TRUE(modal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Two passes over a file converted and one that fails, with a log file small enough to rotate.
TEST_F(ServerWindowTest, PassesShowListStatusAndLogKeepTheLogFileAndTheStopReturnsToIdle) {
  storeDirectories("1");
  environment.set("VELLUMDOCK_LOG_BYTES", "300");
  engine.outcomeByExtension["doc"] = EngineOutcome::Raise;
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.doc"), "b");
  auto form = makeForm();
  form->show();
  QCoreApplication::processEvents();
  // At each conversion the whole list is shown, with the file being converted current.
  std::vector<std::vector<std::string>> listAtCall;
  std::vector<std::string> currentAtCall;
  engine.duringCall = [&](const EngineCall& call) {
    listAtCall.push_back(rowTexts(list(*form)));
    currentAtCall.push_back(list(*form)->currentIndex().data().toString().toStdString() + "|" + call.out());
  };
  // While scanning the caption, buttons and pointer say so, the options are locked and the
  // window refuses to close. The stop comes in the wait after the second pass.
  std::string whileScanning;
  pump.onPause = [&](int pause) {
    if (pause == 1) whileScanning = look(*form);
    if (pause == 1 && !form->close()) whileScanning += "|stays open";
    if (pause == 3) clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(whileScanning, "Vellumdock is scanning for files...|stop |options locked|busy|stays open");

  ASSERT_EQ(listAtCall.size(), 2u);
  const std::vector<std::string>& listed = listAtCall[0];
  EXPECT_EQ(listAtCall[1], listed);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), (std::set<std::string>{"a.txt", "b.doc"}));
  for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(currentAtCall[i], listed[i] + "|" + out(listed[i].substr(0, 1) + ".pdf"));
  // The log box: one line per conversion, the failure with its reason; the empty pass logs
  // nothing.
  const std::vector<std::string> lines = logLines(*form);
  ASSERT_EQ(lines.size(), 4u);
  const std::size_t failed = listed[0] == "b.doc" ? 1 : 2;
  EXPECT_EQ(lines[failed == 1 ? 3 : 0], arrow("a.txt"));
  EXPECT_EQ(lines[failed - 1], arrow("b.doc"));
  EXPECT_EQ(lines[failed], kUnableToCreatePdf);
  EXPECT_EQ(lines[failed + 1].rfind(kReasonPrefix, 0), 0u) << lines[failed + 1];
  EXPECT_NE(lines[failed + 1].find("could not convert " + in("b.doc")), std::string::npos) << lines[failed + 1];
  // The status line after the stop.
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");
  EXPECT_TRUE(rowTexts(list(*form)).empty());
  EXPECT_EQ(look(*form), "Vellumdock|start |options free|pointer");

  // The log file and its rotated predecessors, oldest first, hold the same lines with the
  // time they were written; no file passed the limit.
  const std::string current = environment.path("state/Vellumdock/vellumdk.log");
  QStringList fileLines;
  int files = 0;
  for (const std::string& path : {current + ".3", current + ".2", current + ".1", current}) {
    if (!FileExistsOnDisk(path)) continue;
    ++files;
    const std::string content = ReadBytes(path);
    EXPECT_LE(content.size(), 300u) << path;
    fileLines += QString::fromStdString(content).split('\n', Qt::SkipEmptyParts);
  }
  EXPECT_GE(files, 2);
  ASSERT_EQ(static_cast<std::size_t>(fileLines.size()), lines.size());
  const QRegularExpression stamped("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QString& line = fileLines[static_cast<qsizetype>(i)];
    EXPECT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    EXPECT_EQ(line.mid(20).toStdString(), lines[i]);
  }

  // The box keeps the newest lines under a notice of the dropped ones.
  const std::size_t appended = kLogBoxLines + 3;
  for (std::size_t i = 1; i <= appended; ++i) form->appendLog("line " + std::to_string(i) + "\r\n");
  const std::vector<std::string> kept = logLines(*form);
  ASSERT_EQ(kept.size(), kLogBoxLines + 1);
  EXPECT_EQ(kept.front(), kLogLinesDroppedNotice + current);
  EXPECT_EQ(kept[1], "line 4");
  EXPECT_EQ(kept.back(), "line " + std::to_string(appended));
  // Clear empties the box and its notice.
  button(*form, "Command3")->click();
  EXPECT_TRUE(form->logText().empty());
  form->appendLog("again\r\n");
  EXPECT_EQ(logLines(*form), std::vector<std::string>{"again"});
  EXPECT_TRUE(form->close());
}

TEST_F(ServerWindowTest, FolderScannedElsewhereIsNotScannedAndAnIntervalTypedWhileScanningCountsAtTheNextWait) {
  storeDirectories("3");
  WriteSettledFile(in("a.txt"), "a");
  auto form = makeForm();
  FolderClaim::Refusal refusal;
  auto claim = FolderClaim::tryClaim(inputDir, refusal);
  ASSERT_NE(claim, nullptr) << refusal.reason;
  button(*form, "Command1")->click();
  const std::string why = inputDir + " is already being scanned by this program (process " +
                          std::to_string(getpid()) + "). Not scanning.";
  EXPECT_EQ(form->statusText(), why);
  EXPECT_EQ(logLines(*form), std::vector<std::string>{why});
  EXPECT_TRUE(engine.calls.empty());
  EXPECT_FALSE(button(*form, "Command1")->isHidden());
  EXPECT_TRUE(FileExistsOnDisk(in("a.txt")));
  // Once the folder is free, Start scans it.
  claim.reset();
  pump.onPause = [&](int pause) {
    if (pause == 1) leave(*form, "txtSeconds", "1", Qt::TabFocusReason);
    // A file dropped in the second wait is converted before the stop only when that wait
    // is one second long.
    if (pause == 4) WriteSettledFile(in("late.txt"), "late");
    if (pause == 5) clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(pump.pauses, 5);
  EXPECT_EQ(engine.calls.size(), 2u);
  EXPECT_EQ(form->controller().state().Seconds, 1);
  EXPECT_EQ(stored("Seconds"), "1");
}

}  // namespace
}  // namespace vd::test
