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

}  // namespace
}  // namespace vd::test
