// The shared helpers on real files and the real environment: names split the same way
// everywhere, no mistyped bound taken, no directory or file another user could have prepared.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "common/Environment.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/PrivateDirectories.h"
#include "common/ReplacementFile.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

TEST(PathsTest, SplitsByTheLastSlashAndTheLastDotOfTheName) {
  // Path, then its folder, file name, extension and the path without the extension.
  for (const auto& [path, folder, fileName, extension, bare] : std::vector<std::array<std::string, 5>>{
           {"/in box/report.final.PDF", "/in box", "report.final.PDF", "PDF", "/in box/report.final"},
           {"name", ".", "name", "", "name"},
           {"dir.d/file", "dir.d", "file", "", "dir.d/file"},     // a dot in a folder is no extension
           {"/x/.profile", "/x", ".profile", "", "/x/.profile"},  // a hidden name has none either
           {"/x/.hidden.ps", "/x", ".hidden.ps", "ps", "/x/.hidden"},
           {"a/b.txt/", "a", "b.txt", "txt", "a/b"},  // trailing slashes do not count
       }) {
    SCOPED_TRACE(path);
    EXPECT_EQ(folderOf(path), folder);
    EXPECT_EQ(fileNameOf(path), fileName);
    EXPECT_EQ(extensionOf(path), extension);
    EXPECT_EQ(withoutExtension(path), bare);
  }
}

TEST(EnvironmentTest, TakesOnlyPlainPositiveNumbers) {
  IsolatedEnvironment environment;
  const std::pair<const char*, double> cases[] = {
      {"5", 5},   {" 2.5 ", 2.5}, {"1e3", 1000}, {"+7", 7},    {"", 60},      {"0", 60},    {"-1", 60},
      {"5s", 60}, {"inf", 60},    {"nan", 60},   {"0x10", 60}, {"1e999", 60}, {"1.2.3", 60}, {"   ", 60},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(std::string("\"") + text + "\"");
    environment.set("VELLUMDOCK_TEST_NUMBER", text);
    EXPECT_EQ(positiveEnvironmentNumber("VELLUMDOCK_TEST_NUMBER", 60), expected);
  }
}

class PrivateDirectoryTest : public IsolatedTest {};

TEST_F(PrivateDirectoryTest, AcceptsOnlyARealDirectoryOfThisUserClosedToOthersAndRemovesLinksNotWhatTheyName) {
  const std::string made = scratch("made");
  ASSERT_TRUE(makePrivateDirectory(made));
  EXPECT_EQ(FileMode(made), 0700);

  const std::string open = scratchFolder("open");  // made 0755
  EXPECT_FALSE(makePrivateDirectory(open));
  EXPECT_EQ(FileMode(open), 0755);  // refused, not changed

  const std::string link = scratch("link");
  ASSERT_EQ(symlink(made.c_str(), link.c_str()), 0);
  EXPECT_FALSE(makePrivateDirectory(link));

  // A temporary directory is fresh, private and gone with its files, under $TMPDIR (the
  // interpreter's job folders show it); what it must not do is follow a link it removes.
  const std::string base = scratchFolder("tmp");
  environment.set("TMPDIR", base);
  {
    const TemporaryDirectory first("vellumdock-job");
    ASSERT_TRUE(first.ok());
    EXPECT_NE(first.path(), TemporaryDirectory("vellumdock-job").path());
    ASSERT_EQ(symlink(scratchFolder("kept").c_str(), (first.path() + "/link").c_str()), 0);
    WriteBytes(scratch("kept/file"), "x");
    ASSERT_EQ(mkdir((first.path() + "/fonts").c_str(), 0700), 0);
    WriteBytes(first.path() + "/fonts/cache", "x");
  }
  EXPECT_TRUE(DirectoryEntries(base).empty());
  EXPECT_EQ(ReadBytes(scratch("kept/file")), "x");

  environment.set("TMPDIR", "relative/tmp");
  EXPECT_EQ(temporaryBase(), "/tmp");
}

class ReplacementFileTest : public IsolatedTest {};

TEST_F(ReplacementFileTest, WritesBesideTheTargetUnderAHiddenUniqueNameThenRenamesOverALinkAndNamesWhatFailed) {
  const std::string folder = scratchFolder("out");
  const std::string target = folder + "/report.pdf";
  WriteBytes(target, "old content");
  {
    ReplacementFile first(target);
    EXPECT_NE(first.temporaryPath(), ReplacementFile(target).temporaryPath());
    EXPECT_EQ(folderOf(first.temporaryPath()), folder);
    EXPECT_EQ(fileNameOf(first.temporaryPath()).front(), '.');  // folder scans skip it
    EXPECT_EQ(FileMode(first.temporaryPath()), 0600);  // nobody reads it half-written
    first.write("new ");
    first.write("content");
    EXPECT_EQ(ReadBytes(target), "old content");
    const mode_t previous = umask(027);
    first.commit();  // with the mode a newly created file gets, as every output is
    umask(previous);
  }
  EXPECT_EQ(ReadBytes(target), "new content");
  EXPECT_EQ(FileMode(target), 0640);
  EXPECT_EQ(DirectoryEntries(folder), std::vector<std::string>{"report.pdf"});  // no temporary left

  // An uncommitted file leaves no trace.
  ReplacementFile(target).write("never seen");
  EXPECT_EQ(ReadBytes(target), "new content");
  EXPECT_EQ(DirectoryEntries(folder), std::vector<std::string>{"report.pdf"});

  // A link planted at the target is replaced, not followed.
  const std::string elsewhere = scratch("elsewhere.txt");
  WriteBytes(elsewhere, "not yours");
  const std::string linked = scratch("linked.pdf");
  ASSERT_EQ(symlink(elsewhere.c_str(), linked.c_str()), 0);
  ReplaceFileContent(linked, "report");
  EXPECT_EQ(ReadBytes(elsewhere), "not yours");
  EXPECT_FALSE(std::filesystem::is_symlink(linked));
  EXPECT_EQ(ReadBytes(linked), "report");

  const std::string missing = scratch("no such folder/report.pdf");
  try {
    ReplacementFile file(missing);
    ADD_FAILURE() << "created a temporary in a missing folder";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), missing);
  }
}

}  // namespace
}  // namespace vd::test
