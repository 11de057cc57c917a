// The shared helpers on real files and the real environment: what a caller relies on
// (names split the same way everywhere, no mistyped bound taken, no directory or file
// another user could have prepared).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct PathCase {
  const char* path;
  const char* folder;
  const char* fileName;
  const char* extension;
  const char* withoutExtension;
};

TEST(PathsTest, SplitsByTheLastSlashAndTheLastDotOfTheName) {
  const PathCase cases[] = {
      {"/in box/report.final.PDF", "/in box", "report.final.PDF", "PDF", "/in box/report.final"},
      {"name", ".", "name", "", "name"},
      {"/top", "/", "top", "", "/top"},
      {"/", "/", "/", "", "/"},
      {"dir.d/file", "dir.d", "file", "", "dir.d/file"},       // a dot in a folder is no extension
      {"/x/.profile", "/x", ".profile", "", "/x/.profile"},    // a hidden name has none either
      {"/x/.hidden.ps", "/x", ".hidden.ps", "ps", "/x/.hidden"},
      {"a/b.txt/", "a", "b.txt", "txt", "a/b"},                // trailing slashes do not count
      {"a//b", "a", "b", "", "a//b"},
      {"name.", ".", "name.", "", "name"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(folderOf(c.path), c.folder);
    EXPECT_EQ(fileNameOf(c.path), c.fileName);
    EXPECT_EQ(extensionOf(c.path), c.extension);
    EXPECT_EQ(withoutExtension(c.path), c.withoutExtension);
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
  unsetenv("VELLUMDOCK_TEST_NUMBER");
  EXPECT_EQ(positiveEnvironmentNumber("VELLUMDOCK_TEST_NUMBER", 60), 60);
  EXPECT_EQ(environmentText("VELLUMDOCK_TEST_NUMBER"), "");
}

class PrivateDirectoryTest : public IsolatedTest {};

TEST_F(PrivateDirectoryTest, AcceptsOnlyARealDirectoryOfThisUserClosedToOthers) {
  const std::string made = scratch("made");
  ASSERT_TRUE(makePrivateDirectory(made));
  EXPECT_EQ(FileMode(made), 0700);
  EXPECT_TRUE(makePrivateDirectory(made));  // again: it is ours and closed

  const std::string open = scratchFolder("open");
  chmod(open.c_str(), 0755);
  EXPECT_FALSE(makePrivateDirectory(open));
  EXPECT_EQ(FileMode(open), 0755);  // refused, not changed

  const std::string link = scratch("link");
  ASSERT_EQ(symlink(made.c_str(), link.c_str()), 0);
  EXPECT_FALSE(makePrivateDirectory(link));

  const std::string file = scratch("file");
  WriteBytes(file, "x");
  EXPECT_FALSE(makePrivateDirectory(file));
  EXPECT_FALSE(makePrivateDirectory(scratch("missing/parent")));
  EXPECT_FALSE(makePrivateDirectory(""));
}

// Fresh, private and gone with its files, under $TMPDIR: the interpreter's job folders
// show it. What it must not do is follow a link it removes.
TEST_F(PrivateDirectoryTest, TemporaryDirectoryRemovesLinksNotWhatTheyName) {
  const std::string base = scratchFolder("tmp");
  environment.set("TMPDIR", base);
  {
    const TemporaryDirectory first("vellumdock-job");
    ASSERT_TRUE(first.ok());
    EXPECT_NE(first.path(), TemporaryDirectory("vellumdock-job").path());
    EXPECT_EQ(fileNameOf(first.path()).rfind("vellumdock-job-", 0), 0u);
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

TEST_F(ReplacementFileTest, WritesBesideTheTargetUnderAHiddenUniqueNameThenRenames) {
  const std::string folder = scratchFolder("out");
  const std::string target = folder + "/report.pdf";
  WriteBytes(target, "old content");
  {
    ReplacementFile first(target);
    ReplacementFile second(target);
    EXPECT_NE(first.temporaryPath(), second.temporaryPath());
    EXPECT_EQ(folderOf(first.temporaryPath()), folder);
    EXPECT_EQ(fileNameOf(first.temporaryPath()).front(), '.');  // folder scans skip it
    EXPECT_EQ(FileMode(first.temporaryPath()), 0600);  // nobody reads it half-written
    first.write("new ");
    first.write("content");
    EXPECT_EQ(ReadBytes(target), "old content");
    first.commit(0640);
  }
  EXPECT_EQ(ReadBytes(target), "new content");
  EXPECT_EQ(FileMode(target), 0640);
  EXPECT_EQ(DirectoryEntries(folder), std::vector<std::string>{"report.pdf"});  // no temporary left

  // Without a mode the umask decides; an uncommitted file leaves no trace.
  const mode_t previous = umask(027);
  ReplaceFileContent(target, "first");
  umask(previous);
  EXPECT_EQ(FileMode(target), 0640);
  ReplacementFile(target).write("never seen");
  EXPECT_EQ(ReadBytes(target), "first");
  EXPECT_EQ(DirectoryEntries(folder), std::vector<std::string>{"report.pdf"});
}

TEST_F(ReplacementFileTest, ALinkPlantedAtTheTargetIsReplacedAndFailuresAreFileErrorsNamingIt) {
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
  // A folder standing where the file should go: the rename fails, the temporary goes.
  const std::string folder = scratchFolder("out");
  const std::string occupied = scratchFolder("out/report.pdf");
  WriteBytes(occupied + "/inside", "x");
  EXPECT_THROW(ReplaceFileContent(occupied, "report"), FileError);
  EXPECT_EQ(DirectoryEntries(folder), std::vector<std::string>{"report.pdf"});
  EXPECT_EQ(ReadBytes(occupied + "/inside"), "x");
}

}  // namespace
}  // namespace vd::test
