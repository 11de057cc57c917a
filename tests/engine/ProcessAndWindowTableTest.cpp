// The hidden, detached process start and the per-user window table.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "platform/ProcessLauncher.h"
#include "platform/WindowTable.h"

namespace vd::test {
namespace {

using ProcessAndWindowTableTest = IsolatedTest;

// Waits (bounded) for a file the started program writes; the program runs on its own.
bool appears(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    if (FileExistsOnDisk(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(ProcessAndWindowTableTest, StartedProgramGetsItsTextAsOneArgumentAndLeavesNoChild) {
  const std::string target = scratch("save pdf file as~Save As~\"quoted\" 'x' $HOME ; rm -rf x~");
  ASSERT_TRUE(processLauncher().startHidden("/usr/bin/touch", target));
  EXPECT_TRUE(appears(target));
  // The launcher reaped its intermediate child; the program itself is not our child.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  EXPECT_FALSE(processLauncher().startHidden(scratch("no such program"), "x"));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(ProcessAndWindowTableTest, WindowsAreFoundByClassOrWholeCaptionIgnoringCase) {
  WindowTable& table = windowTable();
  const std::string acrobat = "adobeacrobat";
  const std::string caption = "ADOBE ACROBAT - [REPORT.PDF]";
  const std::string part = "adobe acrobat";
  EXPECT_EQ(table.findWindow(&acrobat, nullptr), 0);
  const WindowHandle main = table.registerWindow("AdobeAcrobat", "Adobe Acrobat Professional");
  const WindowHandle document = table.registerWindow("AVL_AVView", "adobe acrobat - [report.pdf]");
  EXPECT_NE(main, 0);
  EXPECT_EQ(table.findWindow(&acrobat, nullptr), main);
  EXPECT_EQ(table.findWindow(nullptr, &caption), document);
  EXPECT_EQ(table.findWindow(nullptr, &part), 0);
  EXPECT_EQ(table.findWindow(&acrobat, &caption), 0);
  table.setCaption(document, "adobe acrobat");
  EXPECT_EQ(table.findWindow(nullptr, &part), document);
  table.unregisterWindow(main);
  EXPECT_EQ(table.findWindow(&acrobat, nullptr), 0);
  table.unregisterWindow(document);
}

TEST_F(ProcessAndWindowTableTest, WindowsOfEndedProcessesDoNotCount) {
  const pid_t child = fork();
  if (child == 0) {
    windowTable().registerWindow("AdobeAcrobat", "left behind");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  const std::string caption = "left behind";
  EXPECT_EQ(windowTable().findWindow(nullptr, &caption), 0);
  EXPECT_TRUE(windowTable().windows().empty());
}

TEST_F(ProcessAndWindowTableTest, MessagesReachTheInboxInOrder) {
  WindowTable& table = windowTable();
  const WindowHandle window = table.registerWindow("Dialog", "save pdf file as");
  EXPECT_EQ(table.sendMessage(window, WM_CLOSE, 0, "0"), 0);
  EXPECT_EQ(table.sendMessage(window, 258, 65, "line\nwith\ttab and \\ backslash"), 0);
  const auto messages = table.takeMessages(window);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].message, WM_CLOSE);
  EXPECT_EQ(messages[0].lParam, "0");
  EXPECT_EQ(messages[1].message, 258u);
  EXPECT_EQ(messages[1].wParam, 65);
  EXPECT_EQ(messages[1].lParam, "line\nwith\ttab and \\ backslash");
  EXPECT_TRUE(table.takeMessages(window).empty());
  table.unregisterWindow(window);
  EXPECT_EQ(table.sendMessage(window, WM_CLOSE, 0, "0"), -1);
}

}  // namespace
}  // namespace vd::test
