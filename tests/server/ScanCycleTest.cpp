// The scan cycle on the real window: what is listed, how outputs are named, the log
// lines and status texts, stops, failures and the mended faults.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <algorithm>
#include <set>

#include "ServerFixture.h"
#include "server/ScanCycle.h"
#include "server/ServerController.h"

namespace vd::test {
namespace {

class ScanCycleTest : public ServerFixture {
 protected:
  std::vector<std::string> convertedInputs() const {
    std::vector<std::string> inputs;
    for (const EngineCall& call : engine.calls) {
      const std::string& second = call.arguments.at(1);
      inputs.push_back(second.substr(second.find("=\"") + 2, second.size() - second.find("=\"") - 3));
    }
    return inputs;
  }
  std::string arrow(const std::string& name, const std::string& pdf) const { return in(name) + " --> " + out(pdf); }
  // A script file in the input directory naming two text files outside it.
  void writeScript(const std::string& name) {
    storeDirectories("1");
    const std::string parts = environment.path("home/parts");
    ASSERT_TRUE(ensureDirectory(parts));
    WriteSettledFile(parts + "/one.txt", "one");
    WriteSettledFile(parts + "/two.txt", "two");
    WriteSettledFile(in(name), parts + "/one.txt\r\n" + parts + "/two.txt\r\n");
  }
};

TEST_F(ScanCycleTest, OnePassConvertsListedFilesLogsAndDeletesThemAndLeavesTheRest) {
  storeDirectories("1");
  // A Latin-1 name is no valid UTF-8: the file system's bytes are what count.
  const std::vector<std::string> listed = {"a.txt", "a.pdf.txt", "README", "Résumé 'q' -x.doc", "caf\xe9 ~.txt"};
  for (const std::string& name : listed) WriteSettledFile(in(name), name);
  for (const char* name : {"REPORT.PDF", "a.EXE", "St6UnSt.Log", ".hidden"}) WriteSettledFile(in(name), "keep");
  ASSERT_TRUE(ensureDirectory(in("sub.txt")));
  auto form = makeForm();
  runPasses(*form, 1);

  std::set<std::string> expected;
  for (const std::string& name : listed) expected.insert(in(name));
  const std::vector<std::string> inputs = convertedInputs();
  EXPECT_EQ(std::set<std::string>(inputs.begin(), inputs.end()), expected);
  EXPECT_EQ(inputs.size(), 5u);
  // Each conversion is announced just before it happens, in the same order.
  std::vector<std::string> arrows;
  for (const std::string& input : inputs) {
    const std::string name = input.substr(inputDir.size() + 1);
    const auto dot = name.find_last_of('.');
    arrows.push_back(arrow(name, (dot == std::string::npos ? name : name.substr(0, dot)) + ".pdf"));
  }
  EXPECT_EQ(logLines(*form), arrows);
  for (const std::string& name : listed) EXPECT_FALSE(FileExistsOnDisk(in(name))) << name;
  for (const char* name : {"REPORT.PDF", "a.EXE", "St6UnSt.Log", ".hidden"}) EXPECT_EQ(ReadBytes(in(name)), "keep");
  EXPECT_TRUE(FileExistsOnDisk(in("sub.txt")));
  EXPECT_NE(PdfText(out("a.pdf.pdf")).find("Converted a.pdf.txt"), std::string::npos);
  EXPECT_NE(PdfText(out("Résumé 'q' -x.pdf")).find("Converted"), std::string::npos);
  EXPECT_TRUE(FileExistsOnDisk(out("caf\xe9 ~.pdf")));

  // The status line: idle prompt before the first pass, the processing text with "done."
  // after it, and the idle prompt with "done." after the stop.
  ASSERT_EQ(statusAtPause.size(), 2u);
  EXPECT_EQ(statusAtPause[0], kIdlePrompt);
  EXPECT_EQ(statusAtPause[1], "Processing 5 files...done.");
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");
  // The window is back to idle.
  EXPECT_TRUE(button(*form, "Command2")->isHidden());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(engine.enginesAlive, 0);
  EXPECT_EQ(pump.pausedMilliseconds, 2000);
}

TEST_F(ScanCycleTest, WhileScanningTheWindowShowsTheCycleAndRefusesToClose) {
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

TEST_F(ScanCycleTest, ExistingPdfIsReplacedWithOverwriteAndTheNewOneNumberedWithout) {
  storeDirectories("1");
  MakeTextPdf(out("x.pdf"), {"old x"});
  WriteSettledFile(in("x.doc"), "new x");
  auto replacing = makeForm();
  runPasses(*replacing, 1);
  EXPECT_EQ(logLines(*replacing), (std::vector<std::string>{out("x.pdf") + " deleted", arrow("x.doc", "x.pdf")}));
  EXPECT_NE(PdfText(out("x.pdf")).find("Converted x.doc"), std::string::npos);

  pump = ScriptedEventPump{};
  store("Overwrite", "0");
  MakeTextPdf(out("x_1.pdf"), {"old x 1"});
  WriteSettledFile(in("x.doc"), "newer x");
  auto form = makeForm();
  runPasses(*form, 1);
  EXPECT_EQ(logLines(*form), (std::vector<std::string>{arrow("x.doc", "x_2.pdf")}));
  EXPECT_NE(PdfText(out("x.pdf")).find("Converted x.doc"), std::string::npos);  // kept
  EXPECT_NE(PdfText(out("x_1.pdf")).find("old x 1"), std::string::npos);
  EXPECT_NE(PdfText(out("x_2.pdf")).find("Converted x.doc"), std::string::npos);

  // An old PDF that cannot be deleted: the failure is logged, the " deleted" line still
  // follows, and the conversion writes to the same path.
  pump = ScriptedEventPump{};
  store("Overwrite", "1");
  ASSERT_EQ(chmod(out("x.pdf").c_str(), 0444), 0);
  WriteSettledFile(in("x.doc"), "newest x");
  auto locked = makeForm();
  runPasses(*locked, 1);
  EXPECT_EQ(logLines(*locked),
            (std::vector<std::string>{"Unable to create PDF.", out("x.pdf") + " deleted", arrow("x.doc", "x.pdf")}));
  EXPECT_EQ(engine.calls.back().out(), out("x.pdf"));
}

TEST_F(ScanCycleTest, PdfBeingReplacedComesBackWhenItsReplacementFails) {
  // The old PDF is the only copy of an earlier document: a failed replacement must not
  // cost it. A successful one leaves nothing set aside.
  storeDirectories("1");
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  engine.outcomeByExtension["rpt"] = EngineOutcome::WriteNothing;
  for (const char* base : {"plan", "sales", "memo"}) MakeTextPdf(out(std::string(base) + ".pdf"), {std::string("old ") + base});
  WriteSettledFile(in("plan.dwg"), "drawing");
  WriteSettledFile(in("sales.rpt"), "report");
  WriteSettledFile(in("memo.doc"), "memo");
  auto form = makeForm();
  runPasses(*form, 1);

  EXPECT_NE(PdfText(out("plan.pdf")).find("old plan"), std::string::npos);
  EXPECT_NE(PdfText(out("sales.pdf")).find("old sales"), std::string::npos);
  EXPECT_NE(PdfText(out("memo.pdf")).find("Converted memo.doc"), std::string::npos);
  EXPECT_EQ(DirectoryEntries(outputDir), (std::vector<std::string>{"memo.pdf", "plan.pdf", "sales.pdf"}));
  const std::vector<std::string> lines = logLines(*form);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), out("plan.pdf") + " deleted"), 1);
}

TEST_F(ScanCycleTest, FileRemovedAfterTheListingIsSkippedSilently) {
  storeDirectories("1");
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.txt"), "b");
  engine.duringCall = [this](const EngineCall&) {
    unlink(in("a.txt").c_str());
    unlink(in("b.txt").c_str());
  };
  auto form = makeForm();
  runPasses(*form, 1);
  ASSERT_EQ(engine.calls.size(), 1u);
  const std::vector<std::string> lines = logLines(*form);
  ASSERT_EQ(lines.size(), 2u);
  // The converted one's own deletion now fails: it was removed during the conversion.
  EXPECT_NE(lines[0].find(" --> "), std::string::npos);
  EXPECT_EQ(lines[1], "Unable to create PDF.");
}

TEST_F(ScanCycleTest, IntervalOfZeroOrBelowRunsPassesWithoutWaitingAndStillStops) {
  for (const char* seconds : {"0", "-3"}) {
    SCOPED_TRACE(seconds);
    storeDirectories(seconds);
    engine.calls.clear();
    auto form = makeForm();
    pump = ScriptedEventPump{};
    int dropped = 0;
    pump.onProcessEvents = [&](int call) {
      // Files dropped while the cycle runs are picked up by a later pass.
      if (call == 5 || call == 40) WriteSettledFile(in("drop" + std::to_string(++dropped) + ".txt"), "x");
      if (call == 200) clickStop(*form);
    };
    button(*form, "Command1")->click();
    EXPECT_EQ(pump.pauses, 0);
    EXPECT_EQ(engine.calls.size(), 2u);
    EXPECT_FALSE(FileExistsOnDisk(in("drop1.txt")));
    EXPECT_FALSE(FileExistsOnDisk(in("drop2.txt")));
    EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");
  }
}

TEST_F(ScanCycleTest, StopDuringAConversionLetsItFinishAndStopsBeforeTheNextFile) {
  storeDirectories("1");
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.txt"), "b");
  auto form = makeForm();
  engine.duringCall = [&](const EngineCall&) { clickStop(*form); };
  button(*form, "Command1")->click();
  ASSERT_EQ(engine.calls.size(), 1u);
  const std::string converted = engine.calls[0].out();
  EXPECT_TRUE(FileExistsOnDisk(converted));
  // The converted input is gone, the other waits for the next start.
  EXPECT_NE(FileExistsOnDisk(in("a.txt")), FileExistsOnDisk(in("b.txt")));
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");
}

TEST_F(ScanCycleTest, ConvertedFileThatCannotBeDeletedIsNotConvertedAgainUntilItChanges) {
  storeDirectories("1");
  store("Overwrite", "0");
  WriteSettledFile(in("locked.txt"), "v1");
  ASSERT_EQ(chmod(in("locked.txt").c_str(), 0444), 0);
  auto form = makeForm();
  betweenPasses = [&](int pause) {
    if (pause == 4) {
      // A new version arrives: it is input again.
      ASSERT_EQ(chmod(in("locked.txt").c_str(), 0644), 0);
      WriteSettledFile(in("locked.txt"), "version two");
    }
  };
  runPasses(*form, 4);
  EXPECT_EQ(logLines(*form), (std::vector<std::string>{arrow("locked.txt", "locked.pdf"), "Unable to create PDF.",
                                                         arrow("locked.txt", "locked_1.pdf")}));
  EXPECT_EQ(engine.calls.size(), 2u);
  EXPECT_FALSE(FileExistsOnDisk(in("locked.txt")));
}

TEST_F(ScanCycleTest, FailedConversionsAreMovedToTheFailedFolderWithTheirReason) {
  storeDirectories("1");
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  engine.outcomeByExtension["rpt"] = EngineOutcome::WriteNothing;
  WriteSettledFile(in("plan.dwg"), "drawing one");
  WriteSettledFile(in("sales.rpt"), "report");
  auto form = makeForm();
  betweenPasses = [&](int pause) {
    if (pause == 2) WriteSettledFile(in("plan.dwg"), "drawing two");
  };
  runPasses(*form, 2);

  const std::string failed = inputDir + "/failed/";
  EXPECT_EQ(ReadBytes(failed + "plan.dwg"), "drawing one");
  EXPECT_EQ(ReadBytes(failed + "plan_1.dwg"), "drawing two");  // nothing overwritten
  EXPECT_EQ(ReadBytes(failed + "sales.rpt"), "report");
  const std::string reason = ReadBytes(failed + "plan.dwg.error.txt");
  EXPECT_NE(reason.find("CreatePDFfromAutoCAD could not convert " + in("plan.dwg") + "."), std::string::npos) << reason;
  EXPECT_TRUE(FileExistsOnDisk(failed + "plan_1.dwg.error.txt"));
  EXPECT_NE(ReadBytes(failed + "sales.rpt.error.txt").find("No PDF"), std::string::npos);
  EXPECT_EQ(DirectoryEntries(inputDir), std::vector<std::string>{"failed"});
  std::vector<std::string> lines = logLines(*form);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unable to create PDF."), 3);
  EXPECT_EQ(lines.size(), 6u);
  // The engine's error text itself stays out of the log.
  EXPECT_EQ(form->logText().find("could not convert"), std::string::npos);
}

TEST_F(ScanCycleTest, HugeDirectoryFillsTheListToItsIndexRangeAndLeavesTheRest) {
  storeDirectories("1");
  const int files = kMaxListEntries + 2;
  for (int i = 0; i < files; ++i) WriteSettledFile(in("f" + std::to_string(i) + ".txt"), "x");
  auto form = makeForm();
  QListWidget* list = form->findChild<QListWidget*>("List1");
  std::string processingText;
  int listedAtStop = 0;
  pump.onProcessEvents = [&](int) {
    // The check point before the first file: the listing is complete.
    if (!processingText.empty() || form->statusText().rfind("Processing", 0) != 0) return;
    processingText = form->statusText();
    listedAtStop = list->count();
    clickStop(*form);
  };
  button(*form, "Command1")->click();
  EXPECT_EQ(processingText, "Processing 32767 files...");
  EXPECT_EQ(listedAtStop, kMaxListEntries);
  EXPECT_TRUE(engine.calls.empty());
  EXPECT_EQ(DirectoryEntries(inputDir).size(), static_cast<std::size_t>(files));
}

TEST_F(ScanCycleTest, FileStillBeingWrittenIsLeftForALaterPass) {
  storeDirectories("1");
  WriteBytes(in("growing.txt"), "part");
  auto form = makeForm();
  betweenPasses = [&](int pause) {
    if (pause == 1) WriteBytes(in("growing.txt"), "part");
    if (pause == 2) {
      EXPECT_TRUE(engine.calls.empty());
      EXPECT_TRUE(FileExistsOnDisk(in("growing.txt")));
      WriteBytes(in("growing.txt"), "part and more");
    }
    if (pause == 3) {
      EXPECT_TRUE(engine.calls.empty());
      Backdate(in("growing.txt"), 2);  // quiet for two seconds now
    }
  };
  runPasses(*form, 3);
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(in("growing.txt")));
}

TEST_F(ScanCycleTest, StopInsideAScriptRunKeepsTheScriptFile) {
  writeScript("Book.scr");
  auto form = makeForm();
  engine.duringCall = [&](const EngineCall&) { clickStop(*form); };
  button(*form, "Command1")->click();
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_TRUE(FileExistsOnDisk(in("Book.scr")));
  EXPECT_FALSE(FileExistsOnDisk(out("Book.pdf")));
  EXPECT_FALSE(FileExistsOnDisk(inputDir + "/failed"));
  EXPECT_EQ(form->statusText(), std::string(kIdlePrompt) + "done.");
  EXPECT_FALSE(button(*form, "Command1")->isHidden());
}

TEST_F(ScanCycleTest, InputDirectoryThatCannotBeListedIsLoggedOncePerPass) {
  storeDirectories("1");
  store("InputDir", environment.path("home/missing"));
  auto form = makeForm();
  runPasses(*form, 3);
  // The pass in whose wait Stop was pressed lists too: a failed listing has no check point.
  EXPECT_EQ(pump.pauses, 4);
  EXPECT_EQ(logLines(*form), std::vector<std::string>(4, "Unable to create PDF."));
}

}  // namespace
}  // namespace vd::test
