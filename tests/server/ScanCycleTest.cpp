// The scan cycle without a window, against a recording observer: what is listed, which
// engine operation each file reaches, how outputs are named, what is logged, stops, failures
// and the mended faults; and a program of the core alone, as a server without a window is
// built.
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "ScanCycleFixture.h"
#include "platform/MessageBoxes.h"

namespace vd::test {
namespace {

class ScanCycleTest : public ScanCycleFixture {
 protected:
  std::vector<std::string> convertedInputs() const {
    std::vector<std::string> inputs;
    for (const EngineCall& call : engine.calls) inputs.push_back(call.in());
    return inputs;
  }
};

TEST_F(ScanCycleTest, OnePassConvertsListedFilesReportsAndDeletesThemAndLeavesTheRest) {
  // A Latin-1 name is no valid UTF-8: the file system's bytes are what count.
  const std::vector<std::string> listed = {"a.txt", "a.pdf.txt", "README", "Résumé 'q' -x.doc", "caf\xe9 ~.txt"};
  for (const std::string& name : listed) WriteSettledFile(in(name), name);
  for (const char* name : {"REPORT.PDF", "a.EXE", "St6UnSt.Log", ".hidden"}) WriteSettledFile(in(name), "keep");
  ASSERT_TRUE(ensureDirectory(in("sub.txt")));
  // Symbolic links are no input, whatever they point at, so a dropped link cannot have the
  // server read what only its account may.
  const std::string elsewhere = environment.path("home/elsewhere");
  ASSERT_TRUE(ensureDirectory(elsewhere));
  CopySettledFile(Corpus("ps/alphabet.ps"), elsewhere + "/secret.ps");
  const auto before = std::filesystem::last_write_time(elsewhere + "/secret.ps");
  const std::vector<std::pair<std::string, std::string>> links = {
      {"shadow.ps", elsewhere + "/secret.ps"},   // a readable PostScript file elsewhere
      {"folder.txt", elsewhere},                 // a directory
      {"gone.txt", elsewhere + "/missing.txt"},  // dangling
      {"inside.txt", in("a.txt")},               // even one to an input file beside it
  };
  for (const auto& [name, target] : links) ASSERT_EQ(symlink(target.c_str(), in(name).c_str()), 0) << name;
  runPasses(1);

  std::set<std::string> expected;
  for (const std::string& name : listed) expected.insert(in(name));
  const std::vector<std::string> inputs = convertedInputs();
  EXPECT_EQ(std::set<std::string>(inputs.begin(), inputs.end()), expected);
  EXPECT_EQ(inputs.size(), 5u);
  // Each conversion is announced just before it happens, in the listed order, and
  // reported with its output once done.
  ASSERT_EQ(observer.lists.size(), 2u);
  std::vector<std::string> listedInputs;
  for (const std::string& name : observer.lists[0]) listedInputs.push_back(in(name));
  EXPECT_EQ(listedInputs, inputs);
  EXPECT_TRUE(observer.lists[1].empty());  // the pass is over
  std::vector<std::string> arrows;
  std::vector<std::pair<std::string, std::string>> converted;
  std::set<std::string> pdfs;
  for (const std::string& name : observer.lists[0]) {
    const auto dot = name.find_last_of('.');
    const std::string pdf = (dot == std::string::npos ? name : name.substr(0, dot)) + ".pdf";
    arrows.push_back(arrow(name, pdf));
    converted.emplace_back(in(name), out(pdf));
    pdfs.insert(pdf);
  }
  EXPECT_EQ(observer.log, arrows);
  EXPECT_EQ(observer.converted, converted);
  EXPECT_TRUE(observer.failed.empty());
  EXPECT_FALSE(FileExistsOnDisk(inputDir + "/failed"));
  for (const std::string& name : listed) EXPECT_FALSE(FileExistsOnDisk(in(name))) << name;
  for (const char* name : {"REPORT.PDF", "a.EXE", "St6UnSt.Log", ".hidden"}) EXPECT_EQ(ReadBytes(in(name)), "keep");
  EXPECT_TRUE(FileExistsOnDisk(in("sub.txt")));
  const std::vector<std::string> made = DirectoryEntries(outputDir);
  EXPECT_EQ(std::set<std::string>(made.begin(), made.end()), pdfs);
  EXPECT_NE(PdfText(out("a.pdf.pdf")).find("Converted a.pdf.txt"), std::string::npos);
  EXPECT_NE(PdfText(out("Résumé 'q' -x.pdf")).find("Converted"), std::string::npos);
  const std::string scanning = "Scanning for files in " + inputDir + "...";
  EXPECT_EQ(observer.statuses, (std::vector<std::string>{scanning, "Processing 5 files...", "Processing 5 files...done.",
                                                         scanning}));
  EXPECT_EQ(engine.enginesAlive, 0);
  EXPECT_EQ(pump.pausedMilliseconds, 2000);
  // The links and what they point at are as they were.
  for (const auto& [name, target] : links) EXPECT_EQ(std::filesystem::read_symlink(in(name)).string(), target) << name;
  EXPECT_EQ(ReadBytes(elsewhere + "/secret.ps"), ReadBytes(Corpus("ps/alphabet.ps")));
  EXPECT_EQ(std::filesystem::last_write_time(elsewhere + "/secret.ps"), before);
}

TEST_F(ScanCycleTest, EveryExtensionReachesItsOperationWithItsOutputInputAndSecurity) {
  // Name, operation, and the security it carries: applied as set (A), always off (O), or no
  // such argument (-). The text row also takes every extension outside the table, and names
  // without one.
  const std::vector<std::tuple<std::string, std::string, char>> rows = {
      {"archive.tar.ps", "PS", 'O'},    {"figure.eps", "PS", 'O'},         {"Art.EPS", "PS", 'O'},
      {"Q1.XLS", "Excel", 'A'},         {"deck.ppt", "PowerPoint", 'A'},   {"letter.doc", "Word", 'A'},
      {"notes.rtf", "Word", 'A'},       {"Page.HTM", "Word", 'A'},         {"site.html", "Word", 'A'},
      {"flyer.pub", "Pub", 'A'},        {"plan.dwg", "AutoCAD", '-'},      {"list.txt", "TextFile3", '-'},
      {"run.bat", "TextFile3", '-'},    {"README", "TextFile3", '-'},      {"data.csv", "TextFile3", '-'},
      {"sales.rpt", "CrystalReport", '-'}, {"chart.vsd", "Visio", '-'},
      // Today's office formats go to their application's row, never to the text row.
      {"new.docx", "Word", 'A'},        {"plan.ODT", "Word", 'A'},         {"form.docm", "Word", 'A'},
      {"memo.dotx", "Word", 'A'},       {"flat.fodt", "Word", 'A'},        {"sum.xlsx", "Excel", 'A'},
      {"macro.xlsm", "Excel", 'A'},     {"calc.ods", "Excel", 'A'},        {"flat.fods", "Excel", 'A'},
      {"talk.pptx", "PowerPoint", 'A'}, {"talk2.pptm", "PowerPoint", 'A'}, {"show.odp", "PowerPoint", 'A'},
      {"flat.fodp", "PowerPoint", 'A'}, {"chart2.vsdx", "Visio", '-'},
      {"photo.JPG", "ImageFile", '-'},  {"scan.tiff", "ImageFile", '-'},   {"pic.png", "ImageFile", '-'},
      {"logo.emf", "ImageFile", '-'}};
  for (const bool security : {true, false}) {
    SCOPED_TRACE(security);
    pump = ScriptedEventPump{};
    engine.calls.clear();
    ScanSettings scan = settings();
    scan.security = security;
    for (const auto& [name, operation, carries] : rows) WriteSettledFile(in(name), "content of " + name);
    runPasses(scan, 1);
    ASSERT_EQ(engine.calls.size(), rows.size());

    for (const auto& [name, operation, carries] : rows) {
      SCOPED_TRACE(name);
      const auto call = std::find_if(engine.calls.begin(), engine.calls.end(),
                                     [&](const EngineCall& made) { return made.in() == in(name); });
      ASSERT_NE(call, engine.calls.end());
      EXPECT_EQ(call->operation, "CreatePDFfrom" + operation);
      const auto dot = name.find_last_of('.');
      EXPECT_EQ(call->arguments.at(0), "strPDFFile=\"" + out((dot == std::string::npos ? name : name.substr(0, dot)) + ".pdf") + "\"");
      const auto applied = std::find_if(call->arguments.begin(), call->arguments.end(), [](const std::string& argument) {
        return argument.rfind("blnApplySecurity=", 0) == 0;
      });
      if (carries == '-') {
        EXPECT_EQ(applied, call->arguments.end());
      } else {
        ASSERT_EQ(applied, call->arguments.end() - 1);
        EXPECT_EQ(*applied, std::string("blnApplySecurity=") + (security && carries == 'A' ? "true" : "false"));
      }
    }
  }
}

TEST_F(ScanCycleTest, ExistingPdfIsReplacedWithOverwriteComesBackWhenItsReplacementFailsAndIsNumberedWithout) {
  // The old PDF is the only copy of an earlier document: a failed replacement must not
  // cost it, not even one that left a part of a PDF behind. A successful one leaves nothing
  // set aside.
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  engine.outcomeByExtension["rpt"] = EngineOutcome::WriteNothing;
  engine.duringCall = [](const EngineCall& call) {
    if (call.operation == "CreatePDFfromAutoCAD") WriteBytes(call.out(), "%PDF-1.4 cut short");
  };
  for (const char* base : {"plan", "sales", "x"}) MakeTextPdf(out(std::string(base) + ".pdf"), {std::string("old ") + base});
  WriteSettledFile(in("plan.dwg"), "drawing");
  WriteSettledFile(in("sales.rpt"), "report");
  WriteSettledFile(in("x.doc"), "new x");
  runPasses(1);
  EXPECT_NE(PdfText(out("plan.pdf")).find("old plan"), std::string::npos);
  EXPECT_NE(PdfText(out("sales.pdf")).find("old sales"), std::string::npos);
  EXPECT_NE(PdfText(out("x.pdf")).find("Converted x.doc"), std::string::npos);
  EXPECT_EQ(DirectoryEntries(outputDir), (std::vector<std::string>{"plan.pdf", "sales.pdf", "x.pdf"}));
  EXPECT_EQ(std::count(observer.log.begin(), observer.log.end(), out("plan.pdf") + " deleted"), 1);
  const auto converted = std::find(observer.log.begin(), observer.log.end(), arrow("x.doc", "x.pdf"));
  ASSERT_NE(converted, observer.log.begin());
  ASSERT_NE(converted, observer.log.end());
  EXPECT_EQ(*(converted - 1), out("x.pdf") + " deleted");

  pump = ScriptedEventPump{};
  ScanSettings numbering = settings();
  numbering.overwrite = false;
  MakeTextPdf(out("x_1.pdf"), {"old x 1"});
  WriteSettledFile(in("x.doc"), "newer x");
  runPasses(numbering, 1);
  EXPECT_EQ(observer.log, (std::vector<std::string>{arrow("x.doc", "x_2.pdf")}));
  EXPECT_NE(PdfText(out("x.pdf")).find("Converted x.doc"), std::string::npos);  // kept
  EXPECT_NE(PdfText(out("x_1.pdf")).find("old x 1"), std::string::npos);
  EXPECT_NE(PdfText(out("x_2.pdf")).find("Converted x.doc"), std::string::npos);

  // An old PDF that cannot be deleted: the failure is logged, the " deleted" line still
  // follows, and the conversion writes to the same path.
  pump = ScriptedEventPump{};
  ASSERT_EQ(chmod(out("x.pdf").c_str(), 0444), 0);
  WriteSettledFile(in("x.doc"), "newest x");
  runPasses(1);
  EXPECT_EQ(observer.log,
            (std::vector<std::string>{"Unable to create PDF.", out("x.pdf") + " deleted", arrow("x.doc", "x.pdf")}));
  EXPECT_EQ(engine.calls.back().out(), out("x.pdf"));
}

// Another program removes an input just as its old PDF is set aside.
class InputVanishingAtSetAside : public LinuxFileSystem {
 public:
  void deleteFile(const std::string& path) override {
    LinuxFileSystem::deleteFile(path);
    if (path == pdf) {
      unlink(input.c_str());
      if (then) then();
    }
  }
  std::string pdf;
  std::string input;
  std::function<void()> then;
};

TEST_F(ScanCycleTest, PdfSetAsideComesBackWhenItsInputVanishes) {
  // What follows the vanished input: a file whose conversion fails and which had no PDF
  // (it must not receive the old one), a file converted, or a stop.
  struct Case {
    const char* next;
    bool stop;
  };
  const Case cases[] = {{"v3.dwg", false}, {"v3.txt", false}, {nullptr, true}};
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.next != nullptr ? test.next : "stop");
    for (const std::string& folder : {inputDir, outputDir}) {
      std::filesystem::remove_all(folder);
      ASSERT_TRUE(ensureDirectory(folder));
    }
    MakeTextPdf(out("v1.pdf"), {"old v1"});
    WriteSettledFile(in("v1.txt"), "v1");
    if (test.next != nullptr) WriteSettledFile(in(test.next), "v3");
    InputVanishingAtSetAside files;
    files.pdf = out("v1.pdf");
    files.input = in("v1.txt");
    ScopedSeam<FileSystem> vanishing(files);
    ScanCycle& running = makeCycle(settings());
    if (test.stop) files.then = [&] { running.requestStop(); };
    pump = ScriptedEventPump{};
    pump.onPause = [&](int pause) {
      if (pause == 2) running.requestStop();
    };
    running.run();

    EXPECT_NE(PdfText(out("v1.pdf")).find("old v1"), std::string::npos);
    std::vector<std::string> expected = {"v1.pdf"};
    if (test.next != nullptr && std::string(test.next) == "v3.txt") expected.push_back("v3.pdf");
    EXPECT_EQ(DirectoryEntries(outputDir), expected);
  }
}

TEST_F(ScanCycleTest, FileRemovedAfterTheListingIsSkippedSilently) {
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.txt"), "b");
  engine.duringCall = [this](const EngineCall&) {
    unlink(in("a.txt").c_str());
    unlink(in("b.txt").c_str());
  };
  runPasses(1);
  ASSERT_EQ(engine.calls.size(), 1u);
  ASSERT_EQ(observer.log.size(), 2u);
  // The converted one's own deletion now fails: it was removed during the conversion.
  EXPECT_NE(observer.log[0].find(" --> "), std::string::npos);
  EXPECT_EQ(observer.log[1], "Unable to create PDF.");
  EXPECT_EQ(observer.converted.size(), 1u);
  EXPECT_TRUE(observer.failed.empty());
}

TEST_F(ScanCycleTest, IntervalOfZeroOrBelowRunsPassesWithoutWaitingAndStillStops) {
  for (const std::int16_t seconds : {0, -3}) {
    SCOPED_TRACE(seconds);
    engine.calls.clear();
    ScanSettings noWait = settings();
    noWait.seconds = seconds;
    ScanCycle& running = makeCycle(noWait);
    pump = ScriptedEventPump{};
    int dropped = 0;
    pump.onProcessEvents = [&](int call) {
      // Files dropped while the cycle runs are picked up by a later pass.
      if (call == 5 || call == 40) WriteSettledFile(in("drop" + std::to_string(++dropped) + ".txt"), "x");
      if (call == 200) running.requestStop();
    };
    running.run();
    EXPECT_EQ(pump.pauses, 0);
    // Passes that found nothing rest before listing again.
    EXPECT_GT(pump.rests, 0);
    EXPECT_EQ(engine.calls.size(), 2u);
    EXPECT_TRUE(DirectoryEntries(inputDir).empty());
    EXPECT_EQ(pump.processEventsCalls, 200);
  }
}

TEST_F(ScanCycleTest, ConvertedFileThatCannotBeDeletedIsNotConvertedAgainUntilItChanges) {
  ScanSettings numbering = settings();
  numbering.overwrite = false;
  WriteSettledFile(in("locked.txt"), "v1");
  ASSERT_EQ(chmod(in("locked.txt").c_str(), 0444), 0);
  betweenPasses = [&](int pause) {
    if (pause == 4) {
      // A new version arrives: it is input again.
      ASSERT_EQ(chmod(in("locked.txt").c_str(), 0644), 0);
      WriteSettledFile(in("locked.txt"), "version two");
    }
  };
  runPasses(numbering, 4);
  EXPECT_EQ(observer.log, (std::vector<std::string>{arrow("locked.txt", "locked.pdf"), "Unable to create PDF.",
                                                     arrow("locked.txt", "locked_1.pdf")}));
  EXPECT_EQ(engine.calls.size(), 2u);
  EXPECT_FALSE(FileExistsOnDisk(in("locked.txt")));
}

TEST_F(ScanCycleTest, FailedInputsAreKeptInTheFailedFolderWithTheirReasonWhateverTheirNameLength) {
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  engine.outcomeByExtension["rpt"] = EngineOutcome::WriteNothing;
  // 255 bytes: the longest name there is. Two that differ only at their end, one ending in
  // a two-byte letter, and short ones with room for ".error.txt" to spare.
  const std::string stem(240, 'n');
  const std::vector<std::string> names = {"plan.dwg", stem + "-first-0000.dwg", stem + "-second-000.dwg",
                                          std::string(248, 'u') + "\xc3\xa4.dwg", "sales.rpt"};
  for (const std::string& name : names) WriteSettledFile(in(name), "drawing " + name);
  betweenPasses = [&](int pause) {
    // The same names fail again: nothing is overwritten, and the numbered names fit too.
    if (pause != 2) return;
    for (const std::string& name : {names[0], names[1]}) WriteSettledFile(in(name), "again " + name);
  };
  runPasses(2);

  const std::string failed = inputDir + "/failed/";
  EXPECT_EQ(ReadBytes(failed + "plan.dwg"), "drawing plan.dwg");
  EXPECT_EQ(ReadBytes(failed + "plan_1.dwg"), "again plan.dwg");
  EXPECT_EQ(ReadBytes(failed + "plan.dwg.error.txt").rfind("CreatePDFfromAutoCAD could not convert " + in("plan.dwg") + ".", 0), 0u);
  EXPECT_NE(ReadBytes(failed + "sales.rpt.error.txt").find("No PDF"), std::string::npos);
  EXPECT_EQ(DirectoryEntries(inputDir), std::vector<std::string>{"failed"});
  EXPECT_EQ(std::count(observer.log.begin(), observer.log.end(), "Unable to create PDF."), 7);
  EXPECT_EQ(observer.log.size(), 14u);
  // The engine's error text itself stays out of the log; the observer gets it.
  for (const std::string& line : observer.log) EXPECT_EQ(line.find("could not convert"), std::string::npos);
  EXPECT_TRUE(observer.converted.empty());
  ASSERT_EQ(observer.failed.size(), 7u);
  std::string reasons;
  std::vector<std::string> notes;
  std::vector<std::string> kept;
  for (const std::string& entry : DirectoryEntries(failed)) {
    EXPECT_LE(entry.size(), 255u);
    const bool note = entry.ends_with(".error.txt");
    (note ? notes : kept).push_back(entry);
    if (note) reasons += ReadBytes(failed + entry);
  }
  ASSERT_EQ(kept.size(), 7u);
  ASSERT_EQ(notes.size(), kept.size());
  std::set<std::string> failedInputs;
  for (const auto& [input, why] : observer.failed) {
    failedInputs.insert(input.substr(inputDir.size() + 1));
    EXPECT_NE(reasons.find(why), std::string::npos) << why;
  }
  EXPECT_EQ(failedInputs, std::set<std::string>(names.begin(), names.end()));
  // Each kept drawing has exactly one note that begins like its name and tells the whole
  // name and the engine's reason.
  for (const std::string& name : kept) {
    const std::string content = ReadBytes(failed + name);
    const std::string original = content.substr(content.find(' ') + 1);
    if (original == "sales.rpt") continue;
    int matching = 0;
    for (const std::string& note : notes) {
      const std::string reason = ReadBytes(failed + note);
      if (reason.find("could not convert " + in(original) + ".") == std::string::npos) continue;
      // A name too long for its note's is told on the note's first line.
      if (name.size() > 245 ? reason.rfind(name + "\r\n", 0) != 0 : note != name + ".error.txt") continue;
      const std::size_t shared = std::min<std::size_t>(name.size(), 200);
      EXPECT_EQ(note.compare(0, shared, name, 0, shared), 0) << note;
      ++matching;
    }
    EXPECT_EQ(matching, 1) << name;
  }
}

TEST_F(ScanCycleTest, FileStillBeingWrittenIsLeftForALaterPass) {
  WriteBytes(in("growing.txt"), "part");
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
  runPasses(3);
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(in("growing.txt")));
}

TEST_F(ScanCycleTest, StopInsideAScriptRunKeepsTheScriptFile) {
  // A script file in the input directory naming two text files outside it.
  const std::string parts = environment.path("home/parts");
  ASSERT_TRUE(ensureDirectory(parts));
  WriteSettledFile(parts + "/one.txt", "one");
  WriteSettledFile(parts + "/two.txt", "two");
  WriteSettledFile(in("Book.scr"), parts + "/one.txt\r\n" + parts + "/two.txt\r\n");
  ScanCycle& running = makeCycle(settings());
  engine.duringCall = [&](const EngineCall&) { running.requestStop(); };
  running.run();
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_TRUE(FileExistsOnDisk(in("Book.scr")));
  EXPECT_FALSE(FileExistsOnDisk(out("Book.pdf")));
  EXPECT_FALSE(FileExistsOnDisk(inputDir + "/failed"));
  EXPECT_TRUE(observer.converted.empty() && observer.failed.empty());
}

TEST_F(ScanCycleTest, InputDirectoryThatCannotBeListedIsLoggedOncePerPass) {
  ScanSettings missing = settings();
  missing.inputDir = environment.path("home/missing");
  runPasses(missing, 3);
  // The pass in whose wait the stop came lists too: a failed listing has no check point.
  EXPECT_EQ(pump.pauses, 4);
  EXPECT_EQ(observer.log, std::vector<std::string>(4, "Unable to create PDF."));
}

TEST_F(ScanCycleTest, MessageBoxOfTheCoreIsWrittenToStandardErrorAndNoWidgetsAreLoaded) {
  ASSERT_NE(QCoreApplication::instance(), nullptr);
  // The core's own boxes, not the fixture's recording ones.
  MessageBoxes* const recording = Seam<MessageBoxes>::swap(nullptr);
  testing::internal::CaptureStderr();
  messageBoxes().show("Unable to process that Type of data.", "Vellumdock", MessageIcon::None);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Vellumdock: Unable to process that Type of data.\n");
  Seam<MessageBoxes>::swap(recording);

  const std::string maps = ReadBytes("/proc/self/maps");
  EXPECT_NE(maps.find("/libQt6Core.so"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);
}

}  // namespace
}  // namespace vd::test
