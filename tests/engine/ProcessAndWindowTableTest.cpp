// The hidden, detached process start and the per-user window table.
#include <sys/stat.h>
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

TEST_F(ProcessAndWindowTableTest, StartedProgramInheritsNoDescriptorOfOurs) {
  int leaky[2];
  ASSERT_EQ(pipe(leaky), 0);  // without close-on-exec, as a careless library would open it
  struct stat info {};
  ASSERT_EQ(fstat(leaky[0], &info), 0);
  // The program lists its own descriptors with their targets into the file it is given.
  const std::string lister = scratch("list descriptors");
  WriteBytes(lister, "#!/bin/sh\nls -l /proc/$$/fd > \"$1.part\"\nmv \"$1.part\" \"$1\"\n");
  ASSERT_EQ(chmod(lister.c_str(), 0755), 0);
  const std::string listing = scratch("descriptors.txt");
  ASSERT_TRUE(processLauncher().startHidden(lister, listing));
  ASSERT_TRUE(appears(listing));
  const std::string descriptors = ReadBytes(listing);
  EXPECT_NE(descriptors.find("/dev/null"), std::string::npos) << descriptors;
  EXPECT_EQ(descriptors.find("pipe:[" + std::to_string(info.st_ino) + "]"), std::string::npos) << descriptors;
  close(leaky[0]);
  close(leaky[1]);
}

TEST_F(ProcessAndWindowTableTest, WindowsOfOtherLiveProcessesCountAndThoseOfEndedOnesAreGone) {
  const WindowHandle ours = windowTable().registerWindow("AdobeAcrobat", "ours");
  int ready[2];
  int finish[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(finish), 0);
  const pid_t child = fork();
  if (child == 0) {
    // A second instance of the same user: its windows share the table, never our handles.
    const WindowHandle theirs = windowTable().registerWindow("AdobeAcrobat", "left behind");
    ssize_t io = write(ready[1], &theirs, sizeof theirs);
    char go = 0;
    io = read(finish[0], &go, 1);
    (void)io;
    _exit(0);
  }
  WindowHandle theirs = 0;
  ASSERT_EQ(read(ready[0], &theirs, sizeof theirs), static_cast<ssize_t>(sizeof theirs));
  const std::string caption = "left behind";
  EXPECT_NE(theirs, ours);
  EXPECT_EQ(windowTable().findWindow(nullptr, &caption), theirs);
  EXPECT_EQ(windowTable().sendMessage(theirs, WM_CLOSE, 0, "0"), 0);

  ASSERT_EQ(write(finish[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  for (int fd : {ready[0], ready[1], finish[0], finish[1]}) close(fd);
  EXPECT_EQ(windowTable().findWindow(nullptr, &caption), 0);
  EXPECT_EQ(windowTable().sendMessage(theirs, WM_CLOSE, 0, "0"), -1);
  ASSERT_EQ(windowTable().windows().size(), 1u);
  // What the ended process left behind is cleared away; our own window stays.
  const std::string table = environment.path("runtime/vellumdock/windows");
  EXPECT_EQ(DirectoryEntries(table), (std::vector<std::string>{std::to_string(ours) + ".inbox",
                                                               std::to_string(ours) + ".window"}));
  windowTable().unregisterWindow(ours);
}

}  // namespace
}  // namespace vd::test
