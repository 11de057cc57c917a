// The engine's window control and helper launch over the real window table: helper command lines,
// the bounded file-settle wait, closing viewer windows, the hidden detached start, the table shared
// by one user's instances; the text converter on the default printer; the converters with no program.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <stdexcept>

#include "common/Seam.h"
#include "engine/CreatePDF.h"
#include "outside/printing/PdfFileDriver.h"
#include "platform/Clock.h"
#include "platform/PrintSubsystem.h"
#include "platform/ProcessLauncher.h"
#include "platform/WindowTable.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ProcessChecks.h"
#include "support/ServerDoubles.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

// The engine object whose shared steps the converters call.
class InspectableEngine : public EngineObject {
 public:
  InspectableEngine() : EngineObject(EngineDetection::FromRegistry(), RealStandIns()) {}
};

// The process launcher is the seam: the command lines are recorded, nothing starts.
class RecordingLauncher : public ProcessLauncher {
 public:
  std::vector<std::string> commandLines;
  bool startHidden(const std::string& program, const std::string& argumentText) override {
    commandLines.push_back(program + " " + argumentText);
    return true;
  }
};

void writeProgram(const std::string& path, const std::string& script) {
  WriteBytes(path, script);
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

// Time that passes only when the engine pauses, so bounded waits run instantly.
class PausedTime : public Clock {
 public:
  double seconds() override { return 1000 + pump.pausedMilliseconds / 1000.0; }
  std::int64_t wallNanoseconds() override { return static_cast<std::int64_t>(seconds() * 1e9); }
  ScriptedEventPump pump;

 private:
  ScopedSeam<Clock> clockSeam_{*this};
  ScopedSeam<EventPump> pumpSeam_{pump};
};

using WindowControlTest = IsolatedTest;

TEST_F(WindowControlTest, KeystrokeHelperComesFromTheHelperOrProgramFolderWithItsCommandLines) {
  const std::string helpers_ = scratchFolder("helpers");
  const std::string program_ = scratchFolder("program");
  environment.set("VELLUMDOCK_HELPER_DIR", helpers_);
  environment.set("VELLUMDOCK_PROGRAM_DIR", program_);
  RecordingLauncher launcher;
  ScopedSeam<ProcessLauncher> seam(launcher);
  InspectableEngine engine;
  EXPECT_EQ(EngineErrorOf([&] { engine.LaunchKeystrokeHelper("/out/a.pdf", "save pdf file as", nullptr); }),
            "Error! Can't find file TABNUDGE.EXE. Please copy this file into the same path as QUILLKIT.DLL or "
            "into your Window's System Directory.");
  EXPECT_TRUE(launcher.commandLines.empty());

  for (const std::string& folder : {program_, helpers_}) {  // the helper folder comes first
    writeProgram(folder + "/tabnudge", "#!/bin/true\n");
    if (folder == program_) engine.LaunchKeystrokeHelper("/out/a.pdf", "save pdf file as", nullptr);
  }
  const std::string security = "adobe pdf - security";
  engine.LaunchKeystrokeHelper("/out/my file~1.pdf", "Save As", &security);
  EXPECT_EQ(launcher.commandLines, (std::vector<std::string>{
                                       program_ + "/tabnudge save pdf file as~save pdf file as~/out/a.pdf~",
                                       helpers_ + "/tabnudge save pdf file as~Save As~/out/my file~1.pdf~",
                                       helpers_ + "/tabnudge adobe pdf - security~adobe pdf - security~"}));
}

TEST_F(WindowControlTest, FileSettleWaitEndsWhenTheLengthHoldsAndRaisesAtItsBound) {
  PausedTime clock;
  InspectableEngine engine;

  // The file grows during the first pauses, then stays.
  const std::string growing = scratch("growing.ps");
  clock.pump.onPause = [&](int pauses) {
    if (pauses >= 3 && pauses <= 5) WriteBytes(growing, std::string(static_cast<std::size_t>(pauses) * 100, 'x'));
  };
  EXPECT_NO_THROW(engine.FileSettleWait(growing));
  EXPECT_EQ(ReadBytes(growing).size(), 500u);

  // A file that never comes, and one that keeps growing: an engine error naming it once
  // the bound has passed.
  environment.set("VELLUMDOCK_SETTLE_TIMEOUT", "30");
  for (const std::string& path : {scratch("never.pdf"), scratch("endless.ps")}) {
    const int pausesBefore = clock.pump.pauses;
    clock.pump.onPause = [&](int pauses) {
      if (!path.ends_with(".ps")) return;
      if (pauses - pausesBefore > 1000) throw std::logic_error("the wait for a growing file has no bound");
      WriteBytes(path, std::string(static_cast<std::size_t>(pauses - pausesBefore), 'x'));
    };
    const double start = clock.seconds();
    EXPECT_NE(EngineErrorOf([&] { engine.FileSettleWait(path); }).find(path), std::string::npos);
    EXPECT_GE(clock.seconds() - start, 30);
    EXPECT_LT(clock.seconds() - start, 35);
  }
}

TEST_F(WindowControlTest, ViewerWindowsAreFoundByClassOrCaptionAndClosed) {
  PausedTime clock;
  InspectableEngine engine;
  // The document window is the one whose caption names the output, ignoring case.
  const WindowHandle other = windowTable().registerWindow("AVL_AVView", "adobe acrobat - [other.pdf]");
  const WindowHandle document = windowTable().registerWindow("AVL_AVView", "Adobe Acrobat Professional - [REPORT.pdf]");
  engine.CloseDocumentWindow("/out/Report.Final.PDF");
  const auto closed = windowTable().takeMessages(document);
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].message, WM_CLOSE);
  EXPECT_TRUE(windowTable().takeMessages(other).empty());
  windowTable().unregisterWindow(other);
  windowTable().unregisterWindow(document);

  // The main window is found by caption too; not waiting, the delivery decides.
  const WindowHandle byCaption = windowTable().registerWindow("SomethingElse", "Adobe Acrobat Standard");
  EXPECT_TRUE(engine.IsAcrobatHidden());
  EXPECT_TRUE(engine.CloseAcrobat(false));
  const auto destroyed = windowTable().takeMessages(byCaption);
  ASSERT_EQ(destroyed.size(), 1u);
  EXPECT_EQ(destroyed[0].message, WM_DESTROY);
  windowTable().unregisterWindow(byCaption);
  // One that stays: false once the time-out has passed.
  const WindowHandle stubborn = windowTable().registerWindow("AdobeAcrobat", "");
  EXPECT_FALSE(engine.CloseAcrobat(true, 1));
  windowTable().unregisterWindow(stubborn);
}

TEST_F(WindowControlTest, StartedProgramGetsItsTextAsOneArgumentAndNothingElseOfOurs) {
  // The program lists its own descriptors into the file its one argument names.
  int leaky[2];
  ASSERT_EQ(pipe(leaky), 0);  // without close-on-exec, as a careless library would open it
  struct stat info {};
  ASSERT_EQ(fstat(leaky[0], &info), 0);
  const std::string lister = scratch("list descriptors");
  WriteBytes(lister, "#!/bin/sh\nls -l /proc/$$/fd > \"$1.part\"\nmv \"$1.part\" \"$1\"\n");
  ASSERT_EQ(chmod(lister.c_str(), 0755), 0);
  const std::string listing = scratch("save pdf file as~Save As~\"quoted\" 'x' $HOME ; rm -rf x~");
  ASSERT_TRUE(processLauncher().startHidden(lister, listing));
  // The program runs on its own: a bounded wait for what it writes.
  ASSERT_TRUE(EventuallyHolds([&] { return FileExistsOnDisk(listing); }, std::chrono::seconds(5)));
  const std::string descriptors = ReadBytes(listing);
  EXPECT_NE(descriptors.find("/dev/null"), std::string::npos) << descriptors;
  EXPECT_EQ(descriptors.find("pipe:[" + std::to_string(info.st_ino) + "]"), std::string::npos) << descriptors;
  close(leaky[0]);
  close(leaky[1]);
  // A program that did not start is reaped at once; one that did, once its job is over.
  EXPECT_FALSE(processLauncher().startHidden(scratch("no such program"), "x"));
  processLauncher().endAllStarted();
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(WindowControlTest, WindowsOfOtherLiveProcessesCountAndThoseOfEndedOnesAreGone) {
  const WindowHandle ours = windowTable().registerWindow("AdobeAcrobat", "ours");
  int ready[2];
  int finish[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(finish), 0);
  const pid_t child = fork();
  if (child == 0) {
    // A second instance of the same user: its windows share the table, never our handles.
    const WindowHandle theirs = windowTable().registerWindow("AdobeAcrobat", "left behind");
    char go = 0;
    if (write(ready[1], &theirs, sizeof theirs) > 0 && read(finish[0], &go, 1) >= 0) _exit(0);
    _exit(1);
  }
  WindowHandle theirs = 0;
  ASSERT_EQ(read(ready[0], &theirs, sizeof theirs), static_cast<ssize_t>(sizeof theirs));
  const std::string caption = "left behind";
  EXPECT_NE(theirs, ours);
  EXPECT_EQ(windowTable().findWindow(nullptr, &caption), theirs);
  EXPECT_EQ(windowTable().sendMessage(theirs, WM_CLOSE, 0, "0"), 0);

  ASSERT_EQ(write(finish[1], "x", 1), 1);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  for (int fd : {ready[0], ready[1], finish[0], finish[1]}) close(fd);
  EXPECT_EQ(windowTable().findWindow(nullptr, &caption), 0);
  EXPECT_EQ(windowTable().sendMessage(theirs, WM_CLOSE, 0, "0"), -1);
  // What the ended process left behind is cleared away; our own window stays.
  EXPECT_EQ(DirectoryEntries(environment.path("runtime/vellumdock/windows")),
            (std::vector<std::string>{std::to_string(ours) + ".inbox", std::to_string(ours) + ".window"}));
  windowTable().unregisterWindow(ours);
}

// What the text converter starts, and the Distiller printer made the default for the
// while, show with the real text printer below.
TEST_F(WindowControlTest, TextConverterStartsNothingForAnInputThatIsNotText) {
  RecordingLauncher launcher;
  ScopedSeam<ProcessLauncher> seam(launcher);
  CreatePDF engine(EngineDetection{"8.0", "Adobe PDF"});
  const std::string binary = scratch("archive.dat");
  WriteBytes(binary, std::string("PK\x03\x04\x14\x00\x00\x00", 8) + "more");
  const std::string pdf = scratch("archive.pdf");
  WriteBytes(pdf, "an older PDF");
  TextFileOptions options;
  EXPECT_EQ(EngineErrorOf([&] { engine.CreatePDFfromTextFile3(pdf, binary, options); }),
            "The file " + binary + " is not a text file: it holds NUL bytes.");
  EXPECT_TRUE(launcher.commandLines.empty());
  EXPECT_EQ(ReadBytes(pdf), "an older PDF");
}

TEST_F(WindowControlTest, HelpersOfAConversionEndWithItAndNoneIsLeftUnreaped) {
  // A keystroke helper whose dialog never comes and a text printer that never finishes used
  // to run on, detached, for minutes after the conversion had failed at its bound.
  const std::string helpers = scratchFolder("helpers");
  environment.set("VELLUMDOCK_HELPER_DIR", helpers);
  environment.set("VELLUMDOCK_SETTLE_TIMEOUT", "2");
  const std::string started = scratch("started");
  for (const char* name : {"tabnudge", "notepad"}) {
    writeProgram(helpers + "/" + name, "#!/bin/sh\necho $$ >> '" + started + "'\nexec sleep 300\n");
  }
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Adobe PDF", PdfFileDriver::kDriverName, "/x.pdf"}));
  CreatePDF engine(EngineDetection{"8.0", "Adobe PDF"});
  const std::string text = scratch("notes.txt");
  WriteBytes(text, "words\n");
  TextFileOptions options;
  EXPECT_NE(EngineErrorOf([&] { engine.CreatePDFfromTextFile3(scratch("notes.pdf"), text, options); }).find("within 2 seconds"),
            std::string::npos);
  std::istringstream pids(ReadBytes(started));
  int helpersSeen = 0;
  for (pid_t pid = 0; pids >> pid; ++helpersSeen) EXPECT_TRUE(ProcessEnds(pid, 1)) << "helper " << pid << " runs on";
  EXPECT_EQ(helpersSeen, 3);  // the save and security helpers, the printer
  EXPECT_TRUE(process::children().empty());
}

TEST_F(WindowControlTest, TextConverterPrintsThroughNotepadOrEndsWithTheReasonItDidNot) {
  // The real text printer and interpreter worker, beside a keystroke helper with nothing to do.
  const std::string helpers = scratchFolder("helpers");
  environment.set("VELLUMDOCK_HELPER_DIR", helpers);
  // Far above what printing takes, so only a failure that is not noticed reaches it.
  environment.set("VELLUMDOCK_SETTLE_TIMEOUT", "300");
  for (const char* name : {"notepad", "vellumdk-gsworker"}) {
    ASSERT_EQ(symlink((std::string(VD_BUILD_HELPER_DIR) + "/" + name).c_str(), (helpers + "/" + name).c_str()), 0);
  }
  writeProgram(helpers + "/tabnudge", "#!/bin/true\n");
  const std::string pdf = scratch("out/Grüße notes.pdf");
  scratchFolder("out");
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:", PRINTER_ATTRIBUTE_DEFAULT}));
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Text PDF", PdfFileDriver::kDriverName, pdf}));
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Broken", "No Such Driver", "LPT9:"}));
  CreatePDF engine(EngineDetection{"8.0", "Text PDF"});
  const std::string text = scratchFolder("in folder") + "/Grüße notes.bat";
  WriteBytes(text, "@echo off\r\nREM Gr\xFC\xDF" "e \xE2\x89\x88 \xE6\xBC\xA2\xE5\xAD\x97\r\n");

  // The printer ends without a PDF: its reason, long before the bound.
  TextFileOptions options;
  options.strDistiller = "Broken";
  EXPECT_EQ(EngineErrorOf([&] { engine.CreatePDFfromTextFile3(pdf, text, options); }),
            "The text file " + text + " was not printed: The driver \"No Such Driver\" of the printer \"Broken\" is "
            "not available.");
  EXPECT_FALSE(FileExistsOnDisk(pdf));
  EXPECT_EQ(printSubsystem().defaultPrinter(), "Laser");

  // Printed, for a user without a default printer, who is left without one, not with the PDF printer.
  ASSERT_TRUE(printSubsystem().writeProfileString("windows", "Device", ""));
  options.strDistiller = "";
  engine.CreatePDFfromTextFile3(pdf, text, options);
  EXPECT_EQ(PageCount(pdf), 1);
  ExpectContainsAll(PdfText(pdf), {"Grüße notes.bat", "REM Grüße ≈ 漢字", "Page 1"});
  EXPECT_EQ(printSubsystem().defaultPrinter(), "");
}

TEST_F(WindowControlTest, DrawingsAndReportsSayNoProgramReadsThemUnlessTheirSlotIsFilled) {
  const std::string input = scratch("sales.rpt");
  WriteBytes(input, "report");
  CreatePDF engine(EngineDetection{"8.0", "Adobe PDF"});
  AutoCADOptions drawing;
  EXPECT_NE(EngineErrorOf([&] { engine.CreatePDFfromAutoCAD(scratch("a.pdf"), input, drawing); })
                .find("no program on this system reads AutoCAD drawings"),
            std::string::npos);
  CrystalReportOptions report;
  EXPECT_NE(EngineErrorOf([&] { engine.CreatePDFfromCrystalReport(scratch("a.pdf"), input, report); })
                .find("no program on this system reads Crystal Reports"),
            std::string::npos);

  // A filled slot is what the converter uses: a report application of the test's own.
  struct UnopenableReports : CrystalReportsApplication {
    std::unique_ptr<CrystalReport> OpenReport(const std::string&) override { throw std::runtime_error("opens none"); }
    bool CanClose() override { return true; }
  };
  StandInFactories filled;
  filled.crystalReports = [] { return std::make_unique<UnopenableReports>(); };
  CreatePDF withReports(EngineDetection{"8.0", "Adobe PDF"}, filled);
  EXPECT_EQ(EngineErrorOf([&] { withReports.CreatePDFfromCrystalReport(scratch("a.pdf"), input, report); }),
            "opens none");
}

}  // namespace
}  // namespace vd::test
