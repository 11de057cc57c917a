// The built vellumdk on a real X display without a window manager (Xvfb alone, as a kiosk
// or an auto-start under focus-stealing prevention has it): nobody activates its window,
// and "vellumdk m" must scan all the same.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <memory>

#include "../ProgramFixture.h"
#include "platform/SettingsStore.h"

namespace vd::test {
namespace {

// An X server of its own on a display it picks itself among the free ones; `name` is ":N",
// or empty when the server did not come up.
struct XvfbDisplay {
  explicit XvfbDisplay(const std::string& log) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    server = std::make_unique<RunningProgram>(
        "/usr/bin/Xvfb",
        std::vector<std::string>{"-displayfd", std::to_string(pipeEnds[1]), "-nolisten", "tcp", "-screen", "0",
                                 "1024x768x24"},
        log);
    close(pipeEnds[1]);
    // The server writes its display number once it accepts clients.
    std::string number;
    pollfd waiting{pipeEnds[0], POLLIN, 0};
    char c = 0;
    while (poll(&waiting, 1, 20000) > 0 && read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipeEnds[0]);
    if (!number.empty()) name = ":" + number;
  }
  ~XvfbDisplay() {
    // Asked to end, the server removes its lock and socket.
    if (!server) return;
    server->signal(SIGTERM);
    WaitUntil(*server, [] { return false; }, std::chrono::seconds(10));
  }

  std::unique_ptr<RunningProgram> server;
  std::string name;
};

class NoWindowManagerTest : public ProgramFixture {
 protected:
  NoWindowManagerTest() : ProgramFixture("vellumdk") {}
};

TEST_F(NoWindowManagerTest, VellumdkMScansAndConvertsADroppedFile) {
  for (const auto& [key, value] : {std::pair{"InputDir", input_}, {"OutputDir", output_}, {"Seconds", std::string("1")}}) {
    settingsStore().write(key, value);
  }
  XvfbDisplay display(environment_.path("xvfb.log"));
  ASSERT_FALSE(display.name.empty()) << "Xvfb did not start:\n" << ReadBytes(environment_.path("xvfb.log"));
  const std::string log = environment_.path("vellumdk.log");
  RunningProgram vellumdk(program_, {"m"}, log, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display.name}});
  CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/alphabet.ps");

  const std::string pdf = output_ + "/alphabet.pdf";
  ASSERT_TRUE(WaitUntil(vellumdk, [&] { return !FileExistsOnDisk(input_ + "/alphabet.ps") && FileExistsOnDisk(pdf); },
                        std::chrono::seconds(60)))
      << "no PDF; vellumdk " << (vellumdk.running() ? "still runs" : "ended") << "; log:\n" << ReadBytes(log);
  EXPECT_NE(PdfText(pdf).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_TRUE(vellumdk.running());
}

}  // namespace
}  // namespace vd::test
