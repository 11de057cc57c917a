// Script runs with a real engine: entries converted into temporaries in the input
// directory, joined in script order, temporaries removed; the error rule and the stop.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "AssemblyFixture.h"
#include "common/Errors.h"
#include "platform/FileSystem.h"
#include "platform/MountTable.h"
#include "support/RecordingEngine.h"
#include "support/TestBounds.h"
#include "server/ScriptRun.h"

namespace vd::test {
namespace {

class ScriptRunTest : public AssemblyTest {
 protected:
  void SetUp() override { engine_.setAcrobatVersion("10.0"); }

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

  const std::string inputDir_ = scratchFolder("in");
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
  const std::vector<std::string> pages = PageTexts(combined());
  ASSERT_EQ(pages.size(), 2u + 5u + 1u + 1u);
  EXPECT_EQ(std::vector<std::string>(pages.begin(), pages.begin() + 2), (std::vector<std::string>{"One", "Two"}));
  EXPECT_EQ(pages[8], "Four");
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(FileExistsOnDisk(first));
}

TEST_F(ScriptRunTest, EntriesWithTheSameBaseNameKeepTheirOwnPages) {
  const std::string a = makePdf("x.pdf", {"First x"});
  scratchFolder("other");
  const std::string b = makePdf("other/x.pdf", {"Second x"});
  run(a + "\r\n" + b + "\r\n");
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"First x", "Second x"}));
  EXPECT_EQ(failures_, 0);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ScriptRunTest, FailuresAreLoggedAndLeaveNoTemporaries) {
  // Failed entries are logged each, and the rest is joined.
  run(Corpus("broken/truncated_jpeg.jpg") + "\r\n" + makePdf("good.pdf", {"Good"}) + "\r\n" +
      Corpus("wmf/drawing.wmf") + "\r\n");
  EXPECT_EQ(failures_, 2);
  EXPECT_EQ(PageTexts(combined()), std::vector<std::string>{"Good"});
  EXPECT_TRUE(leftovers().empty());

  // All entries failing: one failure, no PDF.
  std::remove(combined().c_str());
  failures_ = 0;
  run(Corpus("broken/badcrc.png") + "\r\n" + scratch("nothing.pdf") + "\r\n");
  EXPECT_EQ(failures_, 1);
  EXPECT_FALSE(FileExistsOnDisk(combined()));

  // A failed join still removes the temporaries and keeps the entries.
  failures_ = 0;
  const std::string broken = scratch("broken.pdf");
  fileSystem().writeFile(broken, "%PDF-1.4\nnot really\n");
  std::remove(combined().c_str());
  run(makePdf("a.pdf", {"A"}) + "\r\n" + broken + "\r\n");
  EXPECT_EQ(failures_, 1);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(FileExistsOnDisk(broken));

  // An unreadable script is logged once.
  failures_ = 0;
  ScriptRunContext context{engine_, inputDir_, [] { return false; }, [this] { ++failures_; }};
  EXPECT_EQ(RunScript(context, inputDir_ + "/vanished.scr", combined()), ScriptRunEnd::Finished);
  EXPECT_EQ(failures_, 1);
}

TEST_F(ScriptRunTest, AStopEndsTheRunBeforeTheNextLine) {
  stopAfter_ = 1;
  const std::string a = makePdf("a.pdf", {"A"});
  EXPECT_EQ(run(a + "\r\n" + makePdf("b.pdf", {"B"}) + "\r\n"), ScriptRunEnd::StopRequested);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
  EXPECT_EQ(leftovers(), std::vector<std::string>{"a_tmp.pdf"});  // kept for the next start
  EXPECT_TRUE(FileExistsOnDisk(inputDir_ + "/multiple.scr"));
}

TEST_F(ScriptRunTest, EntriesTakeTheirRowWithoutSecurityAndAnyFailureIsLogged) {
  EngineScript script;
  script.duringCall = [](const EngineCall& call) {
    if (call.arguments.at(1).find("first.txt") != std::string::npos) throw 42;  // not even a std::exception
  };
  RecordingEngine recording(script);
  std::vector<std::string> entries;
  for (const char* name : {"first.txt", "book.xls", "nested.scr", "tool.exe"}) {
    entries.push_back(scratch(name));
    fileSystem().writeFile(entries.back(), name);
  }
  fileSystem().writeFile(inputDir_ + "/multiple.scr", entries[0] + "\r\n" + entries[1] + "\r\n" + entries[2] + "\r\n" +
                                                          entries[3] + "\r\n");
  ScriptRunContext context{recording, inputDir_, [] { return false; }, [this] { ++failures_; }};
  EXPECT_EQ(RunScript(context, inputDir_ + "/multiple.scr", combined()), ScriptRunEnd::Finished);
  EXPECT_EQ(failures_, 1);
  std::vector<std::string> operations;
  for (const EngineCall& call : script.calls) operations.push_back(call.operation);
  EXPECT_EQ(operations, (std::vector<std::string>{"CreatePDFfromTextFile3", "CreatePDFfromExcel", "CreatePDFfromTextFile3",
                                                  "CreatePDFfromTextFile3", "CreatePDFfromMultiPDF"}));
  EXPECT_EQ(script.calls.at(1).arguments.back(), "blnApplySecurity=false");
  EXPECT_EQ(script.calls.at(3).arguments.at(4), "strSaveWindowCaption=\"save pdf file as\"");
  // The three entries that converted are joined; their temporaries are gone.
  EXPECT_EQ(script.calls.back().arguments.size(), 1u + 3u);
  EXPECT_TRUE(FileExistsOnDisk(combined()));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ScriptRunTest, EntriesThatAreNoOrdinaryFilesFailAndTheRunGoesOn) {
  // Should these entries be opened again, a pipe blocks the run until someone writes to
  // it and a device copies without end: the bounds turn that into a failure.
  const Deadline deadline(std::chrono::seconds(60), "a script run naming a pipe and a device");
  const FileSizeLimit limit(64 << 20);
  const std::string good = makePdf("good.pdf", {"Good"});
  const std::string pipePdf = scratch("waiting.pdf");
  const std::string pipePs = scratch("waiting.ps");
  ASSERT_EQ(mkfifo(pipePdf.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(pipePs.c_str(), 0600), 0);
  const std::string endless = scratch("endless.pdf");
  ASSERT_EQ(symlink("/dev/zero", endless.c_str()), 0);
  const std::string image = scratch("endless.jpg");
  ASSERT_EQ(symlink("/dev/zero", image.c_str()), 0);
  const std::string folder = scratchFolder("folder.pdf");
  // A link to an ordinary file is still an entry.
  const std::string linked = scratch("linked.pdf");
  ASSERT_EQ(symlink(good.c_str(), linked.c_str()), 0);

  run(good + "\r\n" + pipePdf + "\r\n" + pipePs + "\r\n" + endless + "\r\n" + image + "\r\n" + folder + "\r\n" +
      linked + "\r\n");
  EXPECT_EQ(failures_, 5);
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"Good", "Good"}));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ScriptRunTest, FileReadsTakeOrdinaryFilesOnly) {
  const Deadline deadline(std::chrono::seconds(60), "reading a pipe and a device");
  const FileSizeLimit limit(64 << 20);
  const std::string pipe = scratch("pipe.pdf");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string zero = scratch("zero.pdf");
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  for (const std::string& source : {pipe, zero, std::string("/dev/zero"), scratchFolder("folder")}) {
    for (const bool copying : {false, true}) {
      try {
        if (copying) {
          fileSystem().copyFile(source, scratch("copy.pdf"));
        } else {
          fileSystem().readFile(source);
        }
        ADD_FAILURE() << source << " was read";
      } catch (const FileError& error) {
        EXPECT_EQ(error.reason(), "is not an ordinary file") << source;
        EXPECT_EQ(error.path(), source);
      }
    }
  }
  EXPECT_FALSE(FileExistsOnDisk(scratch("copy.pdf")));
  // Ordinary files, also through a link, are read whole.
  const std::string text = scratch("text.txt");
  fileSystem().writeFile(text, std::string(200000, 'x') + "end");
  const std::string link = scratch("link.txt");
  ASSERT_EQ(symlink(text.c_str(), link.c_str()), 0);
  EXPECT_EQ(fileSystem().readFile(link), std::string(200000, 'x') + "end");
  fileSystem().copyFile(link, scratch("copy.txt"));
  EXPECT_EQ(ReadBytes(scratch("copy.txt")), std::string(200000, 'x') + "end");
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
  scratchFolder("share");
  scratchFolder("share/reports");
  makePdf("share/reports/q1.pdf", {"Quarter"});
  OneShareMounted mounts(scratch("share"));
  ScopedSeam<MountTable> seam(mounts);
  run("\\\\fileserver\\docs\\reports\\q1.pdf\r\n//FileServer/Docs/reports/q1.pdf\r\n\\\\elsewhere\\docs\\q1.pdf\r\n");
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"Quarter", "Quarter"}));
  EXPECT_EQ(failures_, 0);
}

}  // namespace
}  // namespace vd::test
