// The scan cycle as the real window shows it: status line, file list, log box, buttons,
// caption and pointer while scanning and after a stop.
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <sys/resource.h>

#include "ServerWindowFixture.h"
#include "platform/FolderClaim.h"
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTextBlock>

#include "ServerWindowFixture.h"
#include "server/LogFile.h"
#include "server/ScanCycle.h"
#include "server/window/ServerController.h"

namespace vd::test {
namespace {

class WindowScanCycleTest : public ServerWindowFixture {
 protected:
  static QListView* list(Form1& form) { return form.findChild<QListView*>("List1"); }
  static std::vector<std::string> shownEntries(Form1& form) {
    std::vector<std::string> entries;
    const QAbstractItemModel* model = list(form)->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      entries.push_back(model->index(row, 0).data().toString().toStdString());
    }
    return entries;
  }
};

TEST_F(WindowScanCycleTest, PassShowsItsListStatusAndLogAndTheStopReturnsToIdle) {
  storeDirectories("1");
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.doc"), "b");
  auto form = makeForm();
  // At each conversion: the whole list is shown and the file being converted is current.
  std::vector<std::vector<std::string>> listAtCall;
  std::vector<std::string> currentAtCall;
  engine.duringCall = [&](const EngineCall& call) {
    listAtCall.push_back(shownEntries(*form));
    currentAtCall.push_back(list(*form)->currentIndex().data().toString().toStdString() + "|" + call.out());
  };
  runPasses(*form, 1);

  ASSERT_EQ(listAtCall.size(), 2u);
  EXPECT_EQ(listAtCall[0], listAtCall[1]);
  EXPECT_EQ(std::set<std::string>(listAtCall[0].begin(), listAtCall[0].end()), (std::set<std::string>{"a.txt", "b.doc"}));
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string& name = listAtCall[0][i];
    EXPECT_EQ(currentAtCall[i], name + "|" + out(name.substr(0, name.find('.')) + ".pdf"));
  }
  // The log box: one line per conversion, each ending with CR LF.
  std::vector<std::string> arrows;
  for (const std::string& name : listAtCall[0]) {
    arrows.push_back(in(name) + " --> " + out(name.substr(0, name.find('.')) + ".pdf"));
  }
  EXPECT_EQ(logLines(*form), arrows);
  // The status line: idle prompt before the first pass, the processing text with "done."
  // after it, and the idle prompt with "done." after the stop.
  EXPECT_EQ(statusAtPause, (std::vector<std::string>{kIdlePrompt, "Processing 2 files...done."}));
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");
  // The window is back to idle.
  EXPECT_TRUE(shownEntries(*form).empty());
  EXPECT_TRUE(button(*form, "Command2")->isHidden());
  EXPECT_FALSE(button(*form, "Command1")->isHidden());
  EXPECT_TRUE(button(*form, "Command1")->isEnabled());
  EXPECT_EQ(form->windowTitle().toStdString(), "Vellumdock");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(form->controller().scanning());
  EXPECT_EQ(engine.enginesAlive, 0);
}

TEST_F(WindowScanCycleTest, WhileScanningTheWindowShowsTheCycleAndRefusesToClose) {
  storeDirectories("1");
  auto form = makeForm();
  form->show();
  QCoreApplication::processEvents();
  bool closeRefused = false;
  betweenPasses = [&](int pause) {
    if (pause != 1) return;
    EXPECT_EQ(form->windowTitle().toStdString(), "Vellumdock is scanning for files...");
    EXPECT_TRUE(button(*form, "Command1")->isHidden());
    EXPECT_FALSE(button(*form, "Command2")->isHidden());
    EXPECT_TRUE(button(*form, "Command2")->isEnabled());
    EXPECT_FALSE(form->findChild<QCheckBox*>("chkOverwrite")->isEnabled());
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    closeRefused = !form->close();
  };
  runPasses(*form, 1);
  EXPECT_TRUE(closeRefused);
  EXPECT_TRUE(form->isVisible());
  // An empty directory: the scanning text stays through the following wait, nothing logged.
  EXPECT_EQ(statusAtPause.at(1), "Scanning for files in " + inputDir + "...");
  EXPECT_TRUE(form->logText().empty());
  EXPECT_TRUE(form->close());
}

TEST_F(WindowScanCycleTest, IntervalTypedWhileScanningTakesEffectAtTheNextWait) {
  storeDirectories("3");
  auto form = makeForm();
  pump.onPause = [&](int pause) {
    if (pause == 1) {
      QLineEdit* seconds = form->findChild<QLineEdit*>("txtSeconds");
      seconds->setText("1");
      QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
      QCoreApplication::sendEvent(seconds, &focusOut);
    }
    // A file dropped in the second wait is converted before the stop only when that wait
    // is one second long.
    if (pause == 4) WriteSettledFile(in("late.txt"), "late");
    if (pause == 5) clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(pump.pauses, 5);
  EXPECT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(form->controller().state().Seconds, 1);
  EXPECT_EQ(settingsStore().read("Seconds"), "1");
}

TEST_F(WindowScanCycleTest, UnreadableIntervalIsLoggedOnceAndAnIdleCycleRestsBetweenPasses) {
  // No wait between passes: an empty folder listed without rest takes a whole core.
  storeDirectories("not a number");
  auto form = makeForm();
  QtEventPump realPump;
  const ScopedSeam<EventPump> realPumpSeam(realPump);
  QTimer::singleShot(2000, form.get(), [&] { clickStop(*form); });
  rusage before{};
  ASSERT_EQ(getrusage(RUSAGE_SELF, &before), 0);
  button(*form, "Command1")->click();
  rusage after{};
  ASSERT_EQ(getrusage(RUSAGE_SELF, &after), 0);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  const double cpuSeconds =
      seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
  EXPECT_LT(cpuSeconds, 0.3) << "an idle cycle without interval kept the processor busy";
  EXPECT_FALSE(form->controller().scanning());
  const std::vector<std::string> lines = logLines(*form);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "The setting Seconds=not a number in " + settingsFilePath() +
                          " cannot be read; 0 (no wait between passes) is used instead.");
}

TEST_F(WindowScanCycleTest, FolderScannedElsewhereIsNotScannedAndTheWindowSaysWhy) {
  storeDirectories("1");
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
  runPasses(*form, 1);
  EXPECT_EQ(engine.calls.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(in("a.txt")));
}

TEST_F(WindowScanCycleTest, HugeDirectoryFillsTheListToItsIndexRangeAndLeavesTheRest) {
  storeDirectories("1");
  const int files = kMaxListEntries + 2;
  for (int i = 0; i < files; ++i) WriteSettledFile(in("f" + std::to_string(i) + ".txt"), "x");
  auto form = makeForm();
  std::string processingText;
  int listedAtStop = 0;
  pump.onProcessEvents = [&](int) {
    // The check point before the first file: the listing is complete.
    if (!processingText.empty() || form->statusText().rfind("Processing", 0) != 0) return;
    processingText = form->statusText();
    listedAtStop = list(*form)->model()->rowCount();
    clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(processingText, "Processing 32767 files...");
  EXPECT_EQ(listedAtStop, kMaxListEntries);
  EXPECT_TRUE(engine.calls.empty());
  EXPECT_EQ(DirectoryEntries(inputDir).size(), static_cast<std::size_t>(files));
}

TEST_F(WindowScanCycleTest, FailureShowsItsReasonAndEveryLineGoesToTheRotatedLogFile) {
  storeDirectories("1");
  environment.set("VELLUMDOCK_LOG_BYTES", "300");
  engine.outcomeByExtension["doc"] = EngineOutcome::Raise;
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.doc"), "b");
  auto form = makeForm();
  runPasses(*form, 1);

  const std::vector<std::string> lines = logLines(*form);
  ASSERT_EQ(lines.size(), 4u);
  const auto failed = std::find(lines.begin(), lines.end(), kUnableToCreatePdf);
  ASSERT_NE(failed, lines.end());
  ASSERT_NE(failed + 1, lines.end());
  EXPECT_EQ(*(failed - 1), in("b.doc") + " --> " + out("b.pdf"));
  EXPECT_EQ(failed[1].rfind(kReasonPrefix, 0), 0u) << failed[1];
  EXPECT_NE(failed[1].find("could not convert " + in("b.doc")), std::string::npos) << failed[1];

  // The log file and its rotated predecessors, oldest first, hold the same lines with the
  // time they were written; no file passed the limit.
  const std::string current = environment.path("state/Vellumdock/vellumdk.log");
  std::vector<std::string> fileLines;
  int files = 0;
  for (const std::string& path : {current + ".3", current + ".2", current + ".1", current}) {
    if (!FileExistsOnDisk(path)) continue;
    ++files;
    const std::string content = ReadBytes(path);
    EXPECT_LE(content.size(), 300u) << path;
    const QStringList written = QString::fromStdString(content).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : written) fileLines.push_back(line.toStdString());
  }
  EXPECT_GE(files, 2);
  ASSERT_EQ(fileLines.size(), lines.size());
  const QRegularExpression stamped("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QString line = QString::fromStdString(fileLines[i]);
    EXPECT_TRUE(stamped.match(line).hasMatch()) << fileLines[i];
    EXPECT_EQ(line.mid(20).toStdString(), lines[i]);
  }
}

TEST_F(WindowScanCycleTest, LogBoxKeepsTheNewestLinesUnderANoticeOfTheDroppedOnes) {
  installPrinter("Adobe PDF");
  auto form = makeForm();
  const std::size_t appended = kLogBoxLines + 3;
  for (std::size_t i = 1; i <= appended; ++i) form->appendLog("line " + std::to_string(i) + "\r\n");

  const std::vector<std::string> lines = logLines(*form);
  ASSERT_EQ(lines.size(), kLogBoxLines + 1);
  const std::string notice = kLogLinesDroppedNotice + environment.path("state/Vellumdock/vellumdk.log");
  EXPECT_EQ(lines.front(), notice);
  EXPECT_EQ(lines[1], "line 4");
  EXPECT_EQ(lines.back(), "line " + std::to_string(appended));
  // The box itself shows the same: the notice, the kept lines, and the empty line after
  // the last line end.
  const QTextDocument* shown = form->findChild<QPlainTextEdit*>("txtStatus")->document();
  EXPECT_EQ(shown->blockCount(), static_cast<int>(kLogBoxLines) + 2);
  EXPECT_EQ(shown->firstBlock().text().toStdString(), notice);
  EXPECT_EQ(shown->findBlockByNumber(1).text().toStdString(), "line 4");
  EXPECT_EQ(shown->findBlockByNumber(static_cast<int>(kLogBoxLines)).text().toStdString(),
            "line " + std::to_string(appended));

  button(*form, "Command3")->click();
  EXPECT_TRUE(form->logText().empty());
  form->appendLog("again\r\n");
  EXPECT_EQ(logLines(*form), std::vector<std::string>{"again"});
}

// The real engine distils a 100-page PostScript job while the window follows it.
TEST_F(WindowScanCycleTest, ProgressBarFollowsALongPostScriptJob) {
  environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
  environment.set("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR);
  runSetup(environment);
  storeDirectories("1");
  // Each page carries a long comment, so the interpreter reads its input over the whole job.
  std::string job = "%!PS\n/Helvetica findfont 24 scalefont setfont\n";
  const std::string padding = "%" + std::string(2000, 'x') + "\n";
  for (int page = 1; page <= 100; ++page) {
    job += padding + "72 700 moveto (Page " + std::to_string(page) + ") show showpage\n";
  }
  WriteSettledFile(in("long job.ps"), job);

  auto form = std::make_unique<Form1>("", defaultEngineFactory());
  form->show();
  QProgressBar* bar = form->findChild<QProgressBar*>("prgConversion");
  std::vector<int> values;
  std::vector<std::string> texts;
  bool hiddenWhileShowing = false;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
    if (value < 0) return;  // the reset when the job is over
    values.push_back(value);
    texts.push_back(bar->text().toStdString());
    hiddenWhileShowing = hiddenWhileShowing || bar->isHidden();
  });
  runPasses(*form, 1);

  EXPECT_EQ(PageCount(out("long job.pdf")), 100);
  ASSERT_FALSE(values.empty());
  EXPECT_FALSE(hiddenWhileShowing);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  // Seen on the way, not only at the end.
  EXPECT_LT(values.front(), 50);
  EXPECT_EQ(values.back(), 100);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "100% (page 100)"), texts.end()) << testing::PrintToString(texts);
  // Pages are counted while the job runs.
  EXPECT_GE(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& text) {
                            return text.find("% (page ") != std::string::npos && text.rfind("100%", 0) != 0;
                          }),
            10)
      << testing::PrintToString(texts);
  EXPECT_TRUE(bar->isHidden());
}

}  // namespace
}  // namespace vd::test
