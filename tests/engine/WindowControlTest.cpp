// The engine's window control and helper launch: the keystroke-helper command lines, the
// file-settle wait and its bound, the document-window close, CloseAcrobat and
// IsAcrobatHidden over the real window table.
#include <sys/stat.h>

#include <stdexcept>

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

void makeExecutable(const std::string& path) {
  WriteBytes(path, "#!/bin/true\n");
  chmod(path.c_str(), 0755);
}

class WindowControlTest : public IsolatedTest {
 protected:
  void SetUp() override {
    environment.set("VELLUMDOCK_HELPER_DIR", helpers_);
    environment.set("VELLUMDOCK_PROGRAM_DIR", program_);
  }
  const std::string helpers_ = scratchFolder("helpers");
  const std::string program_ = scratchFolder("program");
};

TEST_F(WindowControlTest, KeystrokeHelperCommandLinesAreExactlyAsWritten) {
  makeExecutable(helpers_ + "/tabnudge");
  RecordingLauncher launcher;
  ScopedSeam<ProcessLauncher> seam(launcher);
  InspectableEngine engine;
  engine.LaunchKeystrokeHelper("/out/a.pdf", "save pdf file as", nullptr);
  ASSERT_EQ(launcher.commandLines.size(), 1u);
  EXPECT_EQ(launcher.commandLines[0], helpers_ + "/tabnudge save pdf file as~save pdf file as~/out/a.pdf~");

  const std::string security = "adobe pdf - security";
  engine.LaunchKeystrokeHelper("/out/my file~1.pdf", "Save As", &security);
  ASSERT_EQ(launcher.commandLines.size(), 3u);
  EXPECT_EQ(launcher.commandLines[1], helpers_ + "/tabnudge save pdf file as~Save As~/out/my file~1.pdf~");
  EXPECT_EQ(launcher.commandLines[2], helpers_ + "/tabnudge adobe pdf - security~adobe pdf - security~");
}

TEST_F(WindowControlTest, KeystrokeHelperFallsBackToTheProgramFolderThenRaises) {
  RecordingLauncher launcher;
  ScopedSeam<ProcessLauncher> seam(launcher);
  InspectableEngine engine;
  EXPECT_EQ(EngineErrorOf([&] { engine.LaunchKeystrokeHelper("/out/a.pdf", "save pdf file as", nullptr); }),
            "Error! Can't find file TABNUDGE.EXE. Please copy this file into the same path as QUILLKIT.DLL or "
            "into your Window's System Directory.");
  EXPECT_TRUE(launcher.commandLines.empty());

  makeExecutable(program_ + "/tabnudge");
  engine.LaunchKeystrokeHelper("/out/a.pdf", "save pdf file as", nullptr);
  ASSERT_EQ(launcher.commandLines.size(), 1u);
  EXPECT_EQ(launcher.commandLines[0].rfind(program_ + "/tabnudge ", 0), 0u);
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

  // A file that never comes: an engine error naming it once the bound has passed.
  environment.set("VELLUMDOCK_SETTLE_TIMEOUT", "30");
  clock.pump.onPause = nullptr;
  const std::string never = scratch("never.pdf");
  const double start = clock.seconds();
  EXPECT_NE(EngineErrorOf([&] { engine.FileSettleWait(never); }).find(never), std::string::npos);
  EXPECT_GE(clock.seconds() - start, 30);

  // Nor does one that keeps growing: the bound ends that wait too.
  const std::string endless = scratch("endless.ps");
  const int pausesBefore = clock.pump.pauses;
  clock.pump.onPause = [&](int pauses) {
    if (pauses - pausesBefore > 1000) throw std::logic_error("the wait for a growing file has no bound");
    WriteBytes(endless, std::string(static_cast<std::size_t>(pauses - pausesBefore), 'x'));
  };
  const double growingStart = clock.seconds();
  EXPECT_NE(EngineErrorOf([&] { engine.FileSettleWait(endless); }).find(endless), std::string::npos);
  EXPECT_GE(clock.seconds() - growingStart, 30);
  EXPECT_LT(clock.seconds() - growingStart, 35);
}

TEST_F(WindowControlTest, DocumentWindowCloseFindsTheCaptionOfTheOutputName) {
  PausedTime clock;
  InspectableEngine engine;

  const WindowHandle other = windowTable().registerWindow("AVL_AVView", "adobe acrobat - [other.pdf]");
  const WindowHandle document = windowTable().registerWindow("AVL_AVView", "Adobe Acrobat Professional - [REPORT.pdf]");
  engine.CloseDocumentWindow("/out/Report.Final.PDF");
  const auto messages = windowTable().takeMessages(document);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, WM_CLOSE);
  EXPECT_TRUE(windowTable().takeMessages(other).empty());
  windowTable().unregisterWindow(other);
  windowTable().unregisterWindow(document);
}

TEST_F(WindowControlTest, CloseAcrobatAndIsAcrobatHidden) {
  CreatePDF engine;
  EXPECT_FALSE(engine.IsAcrobatHidden());
  EXPECT_FALSE(engine.CloseAcrobat());

  // Found by caption too, ignoring case; not waiting, the delivery decides.
  const WindowHandle byCaption = windowTable().registerWindow("SomethingElse", "Adobe Acrobat Standard");
  EXPECT_TRUE(engine.IsAcrobatHidden());
  EXPECT_TRUE(engine.CloseAcrobat(false));
  const auto messages = windowTable().takeMessages(byCaption);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, WM_DESTROY);
  windowTable().unregisterWindow(byCaption);

  // A main window that stays: false once the time-out has passed.
  const WindowHandle stubborn = windowTable().registerWindow("AdobeAcrobat", "");
  EXPECT_FALSE(engine.CloseAcrobat(true, 1));
  windowTable().unregisterWindow(stubborn);
}

}  // namespace
}  // namespace vd::test
