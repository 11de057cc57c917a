// The change notification on a real folder: what a dropper does wakes the wait, what a
// writer in the middle of its work or a remover does not; a folder that cannot be watched,
// or notification turned off, gives no watch and says why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/FolderChanges.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

class FolderChangesTest : public IsolatedTest {
 protected:
  // Long enough for any machine to deliver a change; a wait that should wake ends long before.
  static constexpr int kWakeBoundMilliseconds = 20000;
  // How long a wait that must not wake is given to wake wrongly.
  static constexpr int kQuietMilliseconds = 300;
};

TEST_F(FolderChangesTest, WakesForFilesThatArriveAndNotForWritesInProgressOrRemovals) {
  const std::string folder = scratchFolder("in");
  const std::string elsewhere = scratchFolder("elsewhere");
  WriteBytes(folder + "/existing.txt", "x");
  WriteBytes(elsewhere + "/moved.ps", "%!PS\n");
  WriteBytes(elsewhere + "/linked.ps", "%!PS\n");
  // An open file whose writer has not finished: its blocks must not wake the passes.
  const int writer = open((folder + "/growing.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(writer, 0);

  std::string whyNot;
  const std::unique_ptr<FolderWatch> watch = folderChanges().watch(folder, whyNot);
  ASSERT_NE(watch, nullptr) << whyNot;
  EXPECT_GE(watch->descriptor(), 0);
  EXPECT_FALSE(watch->waitForChange(kQuietMilliseconds));

  const std::vector<std::pair<const char*, std::function<void()>>> steps = {
      {"written and closed", [&] { WriteBytes(folder + "/dropped.png", "png"); }},
      {"moved in", [&] { ASSERT_EQ(rename((elsewhere + "/moved.ps").c_str(), (folder + "/moved.ps").c_str()), 0); }},
      {"linked in", [&] { ASSERT_EQ(link((elsewhere + "/linked.ps").c_str(), (folder + "/linked.ps").c_str()), 0); }},
      {"touched", [&] { ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/existing.txt").c_str(), nullptr, 0), 0); }},
  };
  for (const auto& [what, step] : steps) {
    SCOPED_TRACE(what);
    step();
    EXPECT_TRUE(watch->waitForChange(kWakeBoundMilliseconds));
    // Taken: the same change does not wake twice.
    EXPECT_FALSE(watch->waitForChange(0));
  }
  for (const auto& [what, step] : std::vector<std::pair<const char*, std::function<void()>>>{
           {"a block written", [&] { ASSERT_EQ(write(writer, "block", 5), 5); }},
           {"a file removed", [&] { ASSERT_EQ(unlink((folder + "/dropped.png").c_str()), 0); }}}) {
    SCOPED_TRACE(what);
    step();
    EXPECT_FALSE(watch->waitForChange(kQuietMilliseconds));
  }
  // Its writer done, the file counts.
  close(writer);
  EXPECT_TRUE(watch->waitForChange(kWakeBoundMilliseconds));
}

TEST_F(FolderChangesTest, GivesNoWatchWithTheReasonWhereNotificationIsUnavailable) {
  const std::string folder = scratchFolder("in");
  WriteBytes(folder + "/file.txt", "x");
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      // path, the variable's value, a part of the reason
      {folder, "0", "VELLUMDOCK_CHANGE_NOTIFICATION=0"},
      {folder + "/file.txt", "", "Not a directory"},
      {folder + "/missing", "", "No such file"},
  };
  for (const auto& [path, variable, reason] : cases) {
    SCOPED_TRACE(path + " " + variable);
    environment.set(kChangeNotificationVariable, variable);
    std::string whyNot;
    EXPECT_EQ(folderChanges().watch(path, whyNot), nullptr);
    EXPECT_NE(whyNot.find(reason), std::string::npos) << whyNot;
  }
  environment.set(kChangeNotificationVariable, "1");
  std::string whyNot;
  EXPECT_NE(folderChanges().watch(folder, whyNot), nullptr) << whyNot;
}

}  // namespace
}  // namespace vd::test
