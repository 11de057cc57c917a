// The folders of a configuration file as the system names them: relative ones from the
// file's folder, one folder named two ways refused as named twice, a ".." after a link going
// up from where the link leads, and a name ending in a blank kept when written with a slash.
#include <unistd.h>

#include <string>

#include "server/FolderConfig.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

class FolderConfigTest : public IsolatedTest {
 protected:
  std::string base_ = scratchFolder("conf");
};

TEST_F(FolderConfigTest, FoldersAreNamedAsTheSystemFindsThem) {
  const FolderConfig relative = ParseFolderConfig("[a]\ninput = in/./scans//\noutput = ../out\n", base_);
  ASSERT_FALSE(relative.problem);
  EXPECT_EQ(relative.folders.at(0).settings.inputDir, base_ + "/in/scans");
  EXPECT_EQ(relative.folders.at(0).settings.outputDir, base_.substr(0, base_.rfind('/')) + "/out");

  const FolderConfig twice =
      ParseFolderConfig("[a]\ninput = in\noutput = /o\n[b]\ninput = x/../in/\noutput = /p\n", base_);
  ASSERT_TRUE(twice.problem);
  EXPECT_EQ(twice.problem->line, 5) << twice.problem->problem;

  // shared/link leads to elsewhere/deep: shared/link/../in is elsewhere/in, not shared/in.
  const std::string shared = scratchFolder("shared");
  const std::string deep = scratchFolder("elsewhere/deep");
  ASSERT_EQ(::symlink(deep.c_str(), (shared + "/link").c_str()), 0);
  const FolderConfig linked = ParseFolderConfig("[a]\ninput = " + shared + "/link/../in\noutput = /o\n", base_);
  ASSERT_FALSE(linked.problem);
  EXPECT_EQ(linked.folders.at(0).settings.inputDir, deep.substr(0, deep.rfind('/')) + "/in");

  const FolderConfig blank = ParseFolderConfig("[a]\ninput = /srv/odd name /\noutput = /o\n", base_);
  ASSERT_FALSE(blank.problem);
  EXPECT_EQ(blank.folders.at(0).settings.inputDir, "/srv/odd name ");
}

}  // namespace
}  // namespace vd::test
