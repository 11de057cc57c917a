// The built vellumdk on a real X display without a window manager (Xvfb alone, as a kiosk
// or an auto-start under focus-stealing prevention has it): nobody activates its window,
// and "vellumdk m" must scan all the same.
#include "../ProgramFixture.h"
#include "platform/SettingsStore.h"
#include "support/XvfbDisplay.h"

namespace vd::test {
namespace {

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
