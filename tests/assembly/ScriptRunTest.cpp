// Script runs with a real engine: entries converted into temporaries in the input
// directory, joined in script order, temporaries removed; the error rule and the stop.
#include "AssemblyFixture.h"
#include "platform/FileSystem.h"
#include "common/Locations.h"
#include "platform/MountTable.h"
#include "server/ScriptRun.h"

namespace vd::test {
namespace {

class ScriptRunTest : public AssemblyTest {
 protected:
  void SetUp() override {
    AssemblyTest::SetUp();
    engine_.setAcrobatVersion("10.0");
    inputDir_ = scratch("in");
    ASSERT_TRUE(ensureDirectory(inputDir_));
  }

  ScriptRunEnd run(const std::string& scriptBytes) {
    const std::string script = inputDir_ + "/multiple.scr";
    fileSystem().writeFile(script, scriptBytes);
    ScriptRunContext context{engine_, inputDir_, [this] { return ++checkPoints_ > stopAfter_; },
                             [this] { ++failures_; }};
    return RunScript(context, script, combined());
  }

  std::string combined() const { return scratch("multiple.pdf"); }

  // What is left in the input directory besides the script.
  std::vector<std::string> leftovers() {
    std::vector<std::string> names;
    auto listing = fileSystem().listOrdinaryFiles(inputDir_);
    while (auto name = listing->next()) {
      if (*name != "multiple.scr") names.push_back(*name);
    }
    return names;
  }

  std::string inputDir_;
  int failures_ = 0;
  int checkPoints_ = 0;
  int stopAfter_ = 1000;
};

TEST_F(ScriptRunTest, JoinsTheEntriesInScriptOrder) {
  const std::string first = makePdf("first doc.pdf", {"One", "Two"});
  const std::string last = makePdf("-last.pdf", {"Four"});
  const std::string script = "' a comment\r\n" + first + "\r\n\r\n   \r\n" + scratch("missing.pdf") + "\n" +
                             "   " + Corpus("gif/dispose_bgnd.gif") + "  \r" + "  ' " + last + "\r\n" +
                             Corpus("jpg/flower.jpg") + "\n" + last;  // no line end after the last line
  EXPECT_EQ(run(script), ScriptRunEnd::Finished);
  EXPECT_EQ(failures_, 0);
  EXPECT_EQ(PageCount(combined()), 2 + 5 + 1 + 1);
  const std::vector<std::string> pages = PageTexts(combined());
  ASSERT_EQ(pages.size(), 9u);
  EXPECT_EQ(pages[0], "One");
  EXPECT_EQ(pages[1], "Two");
  EXPECT_EQ(pages[8], "Four");
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(FileExistsOnDisk(first));
}

TEST_F(ScriptRunTest, EntriesWithTheSameBaseNameKeepTheirOwnPages) {
  const std::string a = makePdf("x.pdf", {"First x"});
  ASSERT_TRUE(ensureDirectory(scratch("other")));
  const std::string b = makePdf("other/x.pdf", {"Second x"});
  run(a + "\r\n" + b + "\r\n");
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"First x", "Second x"}));
  EXPECT_EQ(failures_, 0);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ScriptRunTest, AFailedEntryIsLoggedAndTheRestIsJoined) {
  const std::string good = makePdf("good.pdf", {"Good"});
  run(Corpus("broken/truncated_jpeg.jpg") + "\r\n" + good + "\r\n" + Corpus("wmf/drawing.wmf") + "\r\n");
  EXPECT_EQ(failures_, 2);
  EXPECT_EQ(PageTexts(combined()), std::vector<std::string>{"Good"});
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ScriptRunTest, AScriptWhoseEntriesAllFailMakesNoPdf) {
  run(Corpus("broken/badcrc.png") + "\r\n" + scratch("nothing.pdf") + "\r\n");
  EXPECT_EQ(failures_, 1);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
}

TEST_F(ScriptRunTest, AFailedJoinStillRemovesTheTemporaries) {
  const std::string broken = scratch("broken.pdf");
  fileSystem().writeFile(broken, "%PDF-1.4\nnot really\n");
  run(makePdf("a.pdf", {"A"}) + "\r\n" + broken + "\r\n");
  EXPECT_EQ(failures_, 1);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(FileExistsOnDisk(broken));
}

TEST_F(ScriptRunTest, AStopEndsTheRunBeforeTheNextLine) {
  stopAfter_ = 1;
  const std::string a = makePdf("a.pdf", {"A"});
  EXPECT_EQ(run(a + "\r\n" + makePdf("b.pdf", {"B"}) + "\r\n"), ScriptRunEnd::StopRequested);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
  EXPECT_EQ(leftovers(), std::vector<std::string>{"a_tmp.pdf"});  // kept for the next start
  EXPECT_TRUE(FileExistsOnDisk(inputDir_ + "/multiple.scr"));
}

TEST_F(ScriptRunTest, AnUnreadableScriptIsLoggedOnce) {
  ScriptRunContext context{engine_, inputDir_, [] { return false; }, [this] { ++failures_; }};
  EXPECT_EQ(RunScript(context, inputDir_ + "/vanished.scr", combined()), ScriptRunEnd::Finished);
  EXPECT_EQ(failures_, 1);
}

class OneShareMounted : public MountTable {
 public:
  explicit OneShareMounted(std::string mountPoint) : mountPoint_(std::move(mountPoint)) {}
  std::vector<MountEntry> mounts() override {
    return {{"/dev/sda1", "/", "ext4"}, {"//FileServer/Docs", mountPoint_, "cifs"}};
  }

 private:
  std::string mountPoint_;
};

TEST_F(ScriptRunTest, NetworkLocationsAreReadThroughTheirMount) {
  ASSERT_TRUE(ensureDirectory(scratch("share/reports")));
  makePdf("share/reports/q1.pdf", {"Quarter"});
  OneShareMounted mounts(scratch("share"));
  ScopedSeam<MountTable> seam(mounts);
  run("\\\\fileserver\\docs\\reports\\q1.pdf\r\n//FileServer/Docs/reports/q1.pdf\r\n\\\\elsewhere\\docs\\q1.pdf\r\n");
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"Quarter", "Quarter"}));
  EXPECT_EQ(failures_, 0);
}

}  // namespace
}  // namespace vd::test
