// The engine's window control and helper launch over the real window table: keystroke
// helper command lines, the bounded file-settle wait, closing the viewer's windows; the
// hidden, detached process start and the window table shared by one user's instances.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "common/Seam.h"
#include "engine/CreatePDF.h"
#include "platform/Clock.h"
#include "platform/ProcessLauncher.h"
#include "platform/WindowTable.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ServerDoubles.h"

namespace vd::test {
namespace {

class InspectableEngine : public CreatePDF {
 public:
  using CreatePDF::CloseDocumentWindow;
  using CreatePDF::FileSettleWait;
  using CreatePDF::LaunchKeystrokeHelper;
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
    WriteBytes(folder + "/tabnudge", "#!/bin/true\n");
    chmod((folder + "/tabnudge").c_str(), 0755);
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
  EXPECT_FALSE(engine.IsAcrobatHidden());
  EXPECT_FALSE(engine.CloseAcrobat());

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
  for (int i = 0; i < 500 && !FileExistsOnDisk(listing); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(FileExistsOnDisk(listing));
  const std::string descriptors = ReadBytes(listing);
  EXPECT_NE(descriptors.find("/dev/null"), std::string::npos) << descriptors;
  EXPECT_EQ(descriptors.find("pipe:[" + std::to_string(info.st_ino) + "]"), std::string::npos) << descriptors;
  close(leaky[0]);
  close(leaky[1]);
  // The launcher reaped its intermediate child; the program itself is not our child.
  EXPECT_FALSE(processLauncher().startHidden(scratch("no such program"), "x"));
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

}  // namespace
}  // namespace vd::test
