// The scan cycle without a window, against a recording observer: what is listed, which
// engine operation each file reaches, how outputs are named, what is logged, stops, failures
// and the mended faults.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <utility>

#include "ScanCycleFixture.h"
#include "platform/Clock.h"
#include "server/FolderPasses.h"

namespace vd::test {
namespace {

using ScanCycleTest = ScanCycleFixture;

TEST_F(ScanCycleTest, OnePassConvertsListedFilesReportsAndDeletesThemAndLeavesTheRest) {
  // A Latin-1 name is no valid UTF-8: the file system's bytes are what count.
  const std::vector<std::string> listed = {"a.txt", "a.pdf.txt", "README", "Résumé 'q' -x.doc", "caf\xe9 ~.txt"};
  const std::vector<std::string> ignored = {"REPORT.PDF", "a.EXE", "St6UnSt.Log", ".hidden"};
  for (const std::string& name : listed) WriteSettledFile(in(name), name);
  for (const std::string& name : ignored) WriteSettledFile(in(name), "keep");
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

  // Each conversion is announced just before it happens, in the listed order, and
  // reported with its output once done.
  ASSERT_EQ(observer.lists.size(), 2u);
  EXPECT_TRUE(observer.lists[1].empty());  // the pass is over
  const std::vector<std::string>& order = observer.lists[0];
  EXPECT_EQ(std::set<std::string>(order.begin(), order.end()), std::set<std::string>(listed.begin(), listed.end()));
  ASSERT_EQ(order.size(), listed.size());
  ASSERT_EQ(engine.calls.size(), listed.size());
  std::vector<std::string> arrows;
  std::vector<std::pair<std::string, std::string>> converted;
  std::set<std::string> pdfs;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::string pdf = order[i].substr(0, order[i].find_last_of('.')) + ".pdf";
    EXPECT_EQ(engine.calls[i].in(), in(order[i]));
    EXPECT_EQ(engine.calls[i].out(), out(pdf));
    arrows.push_back(arrow(order[i], pdf));
    converted.emplace_back(in(order[i]), out(pdf));
    pdfs.insert(pdf);
  }
  EXPECT_EQ(observer.log, arrows);
  EXPECT_EQ(observer.converted, converted);
  EXPECT_TRUE(observer.failed.empty());
  EXPECT_FALSE(FileExistsOnDisk(inputDir + "/failed"));
  for (const std::string& name : listed) EXPECT_FALSE(FileExistsOnDisk(in(name))) << name;
  for (const std::string& name : ignored) EXPECT_EQ(ReadBytes(in(name)), "keep");
  EXPECT_TRUE(FileExistsOnDisk(in("sub.txt")));
  EXPECT_EQ(DirectoryEntries(outputDir), std::vector<std::string>(pdfs.begin(), pdfs.end()));
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

// A server's cycle looks at its folder before any wait, and hands out the pass's files the
// lightest first: images, then what a worker interprets, then what an application lays out
// or a script joins; of one weight, the smaller file first.
TEST_F(ScanCycleTest, AServerLooksAtOnceAndHandsOutTheLightestFilesFirst) {
  const std::vector<std::pair<std::string, std::size_t>> files = {
      {"report.docx", 10}, {"big.ps", 40000}, {"joined.scr", 50}, {"notes.txt", 3000},
      {"photo.png", 9000}, {"small.ps", 900}, {"icon.jpg", 700}};
  for (const auto& [name, size] : files) WriteSettledFile(in(name), std::string(size, 'x'));
  ScanCycle& running = makeCycle(settings());
  running.passAtStart();
  running.lightFilesFirst();
  std::size_t callsBeforeTheFirstWait = 0;
  pump.pauses = 0;
  pump.onPause = [&](int pause) {
    if (pause == 1) callsBeforeTheFirstWait = engine.calls.size();
    running.requestStop();
  };
  running.run();

  const std::vector<std::string> expected = {"icon.jpg", "photo.png",   "small.ps",  "notes.txt",
                                             "big.ps",   "report.docx", "joined.scr"};
  ASSERT_FALSE(observer.lists.empty());
  EXPECT_EQ(observer.lists[0], expected);
  std::vector<std::string> arrows;
  for (const std::string& name : expected) arrows.push_back(arrow(name, name.substr(0, name.find('.')) + ".pdf"));
  std::vector<std::string> logged;
  for (const std::string& line : observer.log) {
    if (line.find(" --> ") != std::string::npos) logged.push_back(line);
  }
  EXPECT_EQ(logged, arrows);
  // Every operation was called before the first wait; the script is run, not handed to one.
  EXPECT_EQ(callsBeforeTheFirstWait, expected.size() - 1);
  ASSERT_EQ(engine.calls.size(), expected.size() - 1);
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) EXPECT_EQ(engine.calls[i].in(), in(expected[i]));
}

// A clock whose monotonic seconds the test moves; the wall clock stays the system's, which
// the rule for files still being written reads.
class MovedClock : public Clock {
 public:
  double seconds() override { return seconds_; }
  std::int64_t wallNanoseconds() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  void advance(double seconds) { seconds_ += seconds; }

 private:
  double seconds_ = 1000;
};

// Light files dropped while a heavy one waits go before it, but not for ever: once it has
// waited ten seconds since it was first listed, it goes before every file listed after it.
TEST_F(ScanCycleTest, AHeavyFileWaitsForLighterOnesDroppedAfterItTenSecondsAtMost) {
  MovedClock time;
  const ScopedSeam<Clock> timeSeam(time);
  FolderPasses passes(0, settings(), observer);
  ASSERT_FALSE(passes.claim());
  const auto listAndOrder = [&] {
    std::vector<std::string> names;
    EXPECT_EQ(passes.list(names, FilesInHand(), [] { return false; }), FolderPasses::Listing::Done);
    passes.orderLightestFirst(names);
    return names;
  };
  WriteSettledFile(in("report.docx"), "x");
  WriteSettledFile(in("big.ps"), std::string(5000, 'x'));
  EXPECT_EQ(listAndOrder(), (std::vector<std::string>{"big.ps", "report.docx"}));
  time.advance(9);
  WriteSettledFile(in("scan1.png"), "x");
  EXPECT_EQ(listAndOrder(), (std::vector<std::string>{"scan1.png", "big.ps", "report.docx"}));
  time.advance(1);
  WriteSettledFile(in("scan2.png"), "xx");
  EXPECT_EQ(listAndOrder(), (std::vector<std::string>{"big.ps", "report.docx", "scan1.png", "scan2.png"}));
  // A file taken and dropped again under its name starts its wait anew.
  std::filesystem::remove(in("big.ps"));
  EXPECT_EQ(listAndOrder(), (std::vector<std::string>{"report.docx", "scan1.png", "scan2.png"}));
  WriteSettledFile(in("big.ps"), std::string(5000, 'x'));
  EXPECT_EQ(listAndOrder(), (std::vector<std::string>{"report.docx", "scan1.png", "scan2.png", "big.ps"}));
  passes.release();
}

TEST_F(ScanCycleTest, EveryExtensionReachesItsOperationWithItsSecurity) {
  // Operation, the security it carries (applied as set: A, always off: O, no such argument:
  // -) and names that reach it. The text row also takes every extension outside the table,
  // and names without one; today's office formats go to their application's row, never to it.
  const std::vector<std::tuple<std::string, char, std::vector<std::string>>> rows = {
      {"PS", 'O', {"archive.tar.ps", "figure.eps", "Art.EPS"}},
      {"Word", 'A', {"letter.doc", "notes.rtf", "Page.HTM", "site.html", "new.docx", "plan.ODT", "form.docm", "memo.dotx",
                     "flat.fodt"}},
      {"Excel", 'A', {"Q1.XLS", "sum.xlsx", "macro.xlsm", "calc.ods", "flat.fods"}},
      {"PowerPoint", 'A', {"deck.ppt", "talk.pptx", "talk2.pptm", "show.odp", "flat.fodp"}},
      {"Pub", 'A', {"flyer.pub"}},
      {"Visio", '-', {"chart.vsd", "chart2.vsdx"}},
      {"AutoCAD", '-', {"plan.dwg"}},
      {"CrystalReport", '-', {"sales.rpt"}},
      {"TextFile3", '-', {"list.txt", "run.bat", "README", "data.csv"}},
      {"ImageFile", '-', {"photo.JPG", "scan.tiff", "pic.png", "logo.emf"}}};
  for (const bool security : {true, false}) {
    SCOPED_TRACE(security);
    pump = ScriptedEventPump{};
    engine.calls.clear();
    ScanSettings scan = settings();
    scan.security = security;
    std::size_t files = 0;
    for (const auto& [operation, carries, names] : rows) {
      for (const std::string& name : names) WriteSettledFile(in(name), "content of " + name);
      files += names.size();
    }
    runPasses(scan, 1);
    ASSERT_EQ(engine.calls.size(), files);

    for (const auto& [operation, carries, names] : rows) {
      for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto call = std::find_if(engine.calls.begin(), engine.calls.end(),
                                       [&](const EngineCall& made) { return made.in() == in(name); });
        ASSERT_NE(call, engine.calls.end());
        EXPECT_EQ(call->operation, "CreatePDFfrom" + operation);
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
}

TEST_F(ScanCycleTest, ExistingPdfIsReplacedWithOverwriteAndComesBackWhenItsReplacementFails) {
  // The old PDF is the only copy of an earlier document: a failed replacement must not
  // cost it, not even one that left a part of a PDF behind. A successful one leaves nothing
  // set aside.
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  engine.outcomeByExtension["rpt"] = EngineOutcome::WriteNothing;
  engine.duringCall = [](const EngineCall& call) {
    if (call.operation == "CreatePDFfromAutoCAD") WriteBytes(call.out(), "%PDF-1.4 cut short");
  };
  for (const std::string base : {"plan", "sales", "x"}) MakeTextPdf(out(base + ".pdf"), {"old " + base});
  for (const std::string name : {"plan.dwg", "sales.rpt", "x.doc"}) WriteSettledFile(in(name), "new " + name);
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
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  for (const std::string next : {"v3.dwg", "v3.txt", "stop"}) {
    SCOPED_TRACE(next);
    emptyFolders();
    MakeTextPdf(out("v1.pdf"), {"old v1"});
    WriteSettledFile(in("v1.txt"), "v1");
    if (next != "stop") WriteSettledFile(in(next), "v3");
    InputVanishingAtSetAside files;
    files.pdf = out("v1.pdf");
    files.input = in("v1.txt");
    ScopedSeam<FileSystem> vanishing(files);
    ScanCycle& running = makeCycle(settings());
    if (next == "stop") files.then = [&] { running.requestStop(); };
    pump = ScriptedEventPump{};
    pump.onPause = [&](int pause) { if (pause == 2) running.requestStop(); };
    running.run();

    EXPECT_NE(PdfText(out("v1.pdf")).find("old v1"), std::string::npos);
    EXPECT_EQ(DirectoryEntries(outputDir), (next == "v3.txt" ? std::vector<std::string>{"v1.pdf", "v3.pdf"}
                                                              : std::vector<std::string>{"v1.pdf"}));
  }
}

TEST_F(ScanCycleTest, FileRemovedAfterTheListingIsSkippedSilently) {
  WriteSettledFile(in("a.txt"), "a");
  WriteSettledFile(in("b.txt"), "b");
  // Both go while the first converts: its own deletion fails, the other is passed over.
  engine.duringCall = [this](const EngineCall&) {
    for (const char* name : {"a.txt", "b.txt"}) unlink(in(name).c_str());
  };
  runPasses(1);
  ASSERT_EQ(engine.calls.size(), 1u);
  const std::string first = engine.calls[0].in().substr(inputDir.size() + 1);
  EXPECT_EQ(observer.log, (std::vector<std::string>{arrow(first, first.substr(0, 1) + ".pdf"), "Unable to create PDF.",
                                                     "Reason: delete " + in(first) + ": No such file or directory"}));
  EXPECT_EQ(observer.converted.size(), 1u);
  EXPECT_TRUE(observer.failed.empty());
}

TEST_F(ScanCycleTest, IntervalOfZeroOrBelowRunsPassesWithoutWaitingAndStillStops) {
  ScanSettings noWait = settings();
  noWait.seconds = -3;  // as 0: no wait between passes
  ScanCycle& running = makeCycle(noWait);
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

TEST_F(ScanCycleTest, ConvertedFileThatCannotBeDeletedIsNotConvertedAgainUntilItChanges) {
  ScanSettings numbering = settings();
  numbering.overwrite = false;
  WriteSettledFile(in("locked.txt"), "v1");
  ASSERT_EQ(chmod(in("locked.txt").c_str(), 0444), 0);
  betweenPasses = [&](int pause) {
    if (pause != 4) return;
    // A new version arrives: it is input again.
    ASSERT_EQ(chmod(in("locked.txt").c_str(), 0644), 0);
    WriteSettledFile(in("locked.txt"), "version two");
  };
  runPasses(numbering, 4);
  EXPECT_EQ(observer.log, (std::vector<std::string>{arrow("locked.txt", "locked.pdf"), "Unable to create PDF.",
                                                     "Reason: delete " + in("locked.txt") + ": the file is read-only",
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
  // Each kept file has exactly one note that begins like its name and tells the engine's
  // reason and the whole name: on its first line when too long for the note's.
  for (const std::string& name : kept) {
    const std::string content = ReadBytes(failed + name);
    const std::string original = content.substr(content.find(' ') + 1);
    const std::string why = original == "sales.rpt" ? "No PDF" : "could not convert " + in(original) + ".";
    const std::size_t shared = std::min<std::size_t>(name.size(), 200);
    const auto tells = [&](const std::string& note) {
      const std::string reason = ReadBytes(failed + note);
      return reason.find(why) != std::string::npos && note.compare(0, shared, name, 0, shared) == 0 &&
             (name.size() > 245 ? reason.rfind(name + "\r\n", 0) == 0 : note == name + ".error.txt");
    };
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(), tells), 1) << name;
  }
}

TEST_F(ScanCycleTest, FailedFilesGoOnlyIntoARealFailedFolderAndNeverThroughALink) {
  // failed/ is made by whoever drops files: a link to another folder had failed files and
  // their notes written there, and a link put under a note's name was written through.
  engine.outcomeByExtension["dwg"] = EngineOutcome::Raise;
  const std::string elsewhere = environment.path("home/elsewhere");
  const std::string failed = in("failed");
  const std::vector<std::pair<std::string, std::function<void()>>> setups = {
      {"a link to a folder", [&] { ASSERT_EQ(symlink(elsewhere.c_str(), failed.c_str()), 0); }},
      {"a file", [&] { WriteBytes(failed, "not a folder"); }},
      {"links at the free names", [&] {
         ASSERT_TRUE(ensureDirectory(failed));
         ASSERT_EQ(symlink((elsewhere + "/planted").c_str(), (failed + "/plan.dwg.error.txt").c_str()), 0);
       }}};
  for (const auto& [setup, make] : setups) {
    SCOPED_TRACE(setup);
    emptyFolders();
    std::filesystem::remove_all(elsewhere);
    ASSERT_TRUE(ensureDirectory(elsewhere));
    make();
    WriteSettledFile(in("plan.dwg"), "drawing");
    engine.calls.clear();
    runPasses(3);
    EXPECT_TRUE(DirectoryEntries(elsewhere).empty());
    if (setup == "links at the free names") {
      EXPECT_EQ(ReadBytes(failed + "/plan_1.dwg"), "drawing");
      EXPECT_NE(ReadBytes(failed + "/plan_1.dwg.error.txt").find("could not convert"), std::string::npos);
      continue;
    }
    // The file stays, is not tried again while unchanged, and the log says why once.
    EXPECT_EQ(ReadBytes(in("plan.dwg")), "drawing");
    EXPECT_EQ(engine.calls.size(), 1u);
    const auto why = std::count_if(observer.log.begin(), observer.log.end(), [&](const std::string& line) {
      return line.rfind("Reason: ", 0) == 0 && line.find(failed + " is ") != std::string::npos;
    });
    EXPECT_EQ(why, 1) << testing::PrintToString(observer.log);
  }
}

TEST_F(ScanCycleTest, AnInputFolderReplacedByALinkIsLeftAloneAndNothingWhereItPointsIsTouched) {
  // Whoever may write beside the input folder can move it away and put a link to another
  // folder in its place: that folder's files were converted and removed.
  const std::string victim = environment.path("home/victim");
  const std::string movedAway = environment.path("home/in dir, moved");
  const auto swap = [&] {
    ASSERT_EQ(rename(inputDir.c_str(), movedAway.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), inputDir.c_str()), 0);
  };
  const auto swapBack = [&] {
    ASSERT_EQ(unlink(inputDir.c_str()), 0);
    ASSERT_EQ(rename(movedAway.c_str(), inputDir.c_str()), 0);
  };
  const std::string refusal = inputDir + " is no longer the folder claimed when scanning started";
  for (const std::string when : {"between passes", "during a conversion"}) {
    SCOPED_TRACE(when);
    emptyFolders();
    std::filesystem::remove_all(victim);
    ASSERT_TRUE(ensureDirectory(victim));
    for (const std::string name : {"a.txt", "b.txt"}) {
      WriteSettledFile(victim + "/" + name, "secret " + name);
      if (when != "between passes") WriteSettledFile(in(name), "dropped " + name);
    }
    engine.calls.clear();
    bool swapped = false;
    engine.duringCall = [&](const EngineCall&) {
      if (when != "between passes" && !std::exchange(swapped, true)) swap();
    };
    betweenPasses = [&](int pause) {
      if (when == "between passes" && pause == 2) swap();
      if (pause == 4) {
        swapBack();
        WriteSettledFile(in("later.txt"), "later");
      }
    };
    runPasses(4);
    for (const std::string name : {"a.txt", "b.txt"}) EXPECT_EQ(ReadBytes(victim + "/" + name), "secret " + name);
    for (const EngineCall& call : engine.calls) EXPECT_EQ(call.in().find(victim), std::string::npos) << call.in();
    // Once the folder is back, scanning goes on where it stopped.
    EXPECT_TRUE(DirectoryEntries(inputDir).empty());
    EXPECT_TRUE(FileExistsOnDisk(out("later.pdf")));
    const auto said = std::count_if(observer.log.begin(), observer.log.end(),
                                    [&](const std::string& line) { return line.find(refusal) != std::string::npos; });
    EXPECT_EQ(said, 1) << testing::PrintToString(observer.log);
  }
}

TEST_F(ScanCycleTest, FileStillBeingWrittenIsLeftForALaterPass) {
  WriteBytes(in("growing.txt"), "part");
  betweenPasses = [&](int pause) {
    EXPECT_TRUE(pause > 3 || engine.calls.empty()) << pause;
    if (pause == 1) WriteBytes(in("growing.txt"), "part");
    if (pause == 2) WriteBytes(in("growing.txt"), "part and more");
    if (pause == 3) Backdate(in("growing.txt"), 2);  // quiet for two seconds now
  };
  runPasses(3);
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(in("growing.txt")));
}

TEST_F(ScanCycleTest, InputDirectoryThatCannotBeListedIsLoggedWithItsReasonOncePerPass) {
  ScanSettings missing = settings();
  missing.inputDir = environment.path("home/missing");
  runPasses(missing, 3);
  // The pass in whose wait the stop came lists too: a failed listing has no check point.
  EXPECT_EQ(pump.pauses, 4);
  std::vector<std::string> perPass = {"Unable to create PDF.", "Reason: list " + missing.inputDir + ": No such file or directory"};
  std::vector<std::string> expected;
  for (int pass = 0; pass < 4; ++pass) expected.insert(expected.end(), perPass.begin(), perPass.end());
  EXPECT_EQ(observer.log, expected);
}

}  // namespace
}  // namespace vd::test
