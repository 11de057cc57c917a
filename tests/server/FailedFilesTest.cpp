// Failed files handed back and what a killed run left, against names dropped meanwhile and
// a failed/ that is a link: nothing is replaced, and nothing is reached through the link.
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "server/FailedFiles.h"
#include "server/FolderPasses.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

class FailedFilesTest : public IsolatedTest {
 protected:
  ScanSettings folder() const {
    ScanSettings settings;
    settings.inputDir = input_;
    settings.outputDir = output_;
    return settings;
  }

  std::string input_ = scratchFolder("in");
  std::string output_ = scratchFolder("out");
};

TEST_F(FailedFilesTest, ARetriedFileNeverReplacesOneDroppedUnderItsName) {
  WriteBytes(input_ + "/report.ps", "the failed one");
  KeepFailedFile(input_, "report.ps", "a reason");
  WriteBytes(input_ + "/report.ps", "dropped meanwhile");

  EXPECT_EQ(ReturnFailedFile(input_, "report.ps"), "report_1.ps");
  EXPECT_EQ(ReadBytes(input_ + "/report.ps"), "dropped meanwhile");
  EXPECT_EQ(ReadBytes(input_ + "/report_1.ps"), "the failed one");
  // The note went with it; nothing else is left in failed/.
  EXPECT_EQ(DirectoryEntries(input_ + "/failed"), std::vector<std::string>{});
  EXPECT_THROW(ReturnFailedFile(input_, "report.ps"), std::invalid_argument);
}

TEST_F(FailedFilesTest, AFailedFolderThatIsALinkIsNeitherListedNorReturnedFromNorCleaned) {
  const std::string elsewhere = scratchFolder("elsewhere");
  WriteBytes(elsewhere + "/private.ps", "not the folder's");
  WriteBytes(elsewhere + "/private.ps.error.txt", "a note");
  WriteBytes(elsewhere + "/.vellumdock-new-abandoned", "someone else's temporary");
  ASSERT_EQ(symlink(elsewhere.c_str(), (input_ + "/failed").c_str()), 0);

  EXPECT_EQ(ListFailedFiles(input_, 10).count, 0u);
  EXPECT_ANY_THROW(ReturnFailedFile(input_, "private.ps"));
  SettleLeftovers(folder());
  EXPECT_EQ(DirectoryEntries(input_), std::vector<std::string>{"failed"});
  EXPECT_EQ(DirectoryEntries(elsewhere),
            (std::vector<std::string>{".vellumdock-new-abandoned", "private.ps", "private.ps.error.txt"}));
}

TEST_F(FailedFilesTest, LeftoversOfAKilledRunGoFromARealFailedFolder) {
  WriteBytes(input_ + "/broken.ps", "failed");
  KeepFailedFile(input_, "broken.ps", "a reason");
  WriteBytes(input_ + "/failed/.vellumdock-new-abandoned", "half a note");
  SettleLeftovers(folder());
  EXPECT_EQ(DirectoryEntries(input_ + "/failed"), (std::vector<std::string>{"broken.ps", "broken.ps.error.txt"}));
}

}  // namespace
}  // namespace vd::test
