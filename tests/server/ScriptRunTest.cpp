// Script runs with a real engine: entries converted into temporaries in the input directory,
// joined in script order, temporaries removed; the error rule and the stop; the network locations
// entries may name, and the builder's network path option on the same mount table.
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "common/Errors.h"
#include "common/Locations.h"
#include "common/PrivateDirectories.h"
#include "platform/FileSystem.h"
#include "platform/MountTable.h"
#include "platform/SettingsStore.h"
#include "scripts/FolderBrowsing.h"
#include "scripts/NetworkPaths.h"
#include "scripts/ScriptBuilder.h"
#include "server/ScriptRun.h"
#include "support/AssemblyFixture.h"
#include "support/RecordingEngine.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

class ScriptRunTest : public AssemblyTest {
 protected:
  void SetUp() override { engine_.setAcrobatVersion("10.0"); }

  ScriptRunEnd run(const std::string& scriptBytes, CreatePDF* engine = nullptr) {
    fileSystem().writeFile(inputDir_ + "/multiple.scr", scriptBytes);
    ScriptRunContext context(engine ? *engine : *engine_, {inputDir_,
                                                           [this] { return stopAsked(); },
                                                           [this](const std::string& why) { reasons_.push_back(why); },
                                                           {},
                                                           {}});
    return RunScript(context, inputDir_ + "/multiple.scr", combined());
  }

  std::string combined() const { return scratch("multiple.pdf"); }

  // What is left in the input directory besides the script.
  std::vector<std::string> leftovers() {
    std::vector<std::string> names = DirectoryEntries(inputDir_);
    names.erase(std::remove(names.begin(), names.end(), "multiple.scr"), names.end());
    return names;
  }

  std::string inputDir_ = scratchFolder("in");
  // Each failure's reason, as the log's "Reason: " line gives it.
  std::vector<std::string> reasons_;
  std::function<bool()> stopAsked = [] { return false; };
};

TEST_F(ScriptRunTest, JoinsTheEntriesInScriptOrderThroughTemporariesThatTakeNeitherEachOthersNamesNorTheUsersFiles) {
  const std::string first = makePdf("first doc.pdf", {"One", "Two"});
  const std::string last = makePdf("-last.pdf", {"Four"});
  // The same base name in another folder keeps its own pages.
  const std::string same = MakeTextPdf(scratchFolder("other") + "/first doc.pdf", {"Other"});
  // Files of someone else where the run's temporaries and their logs would go.
  fileSystem().writeFile(inputDir_ + "/first doc_tmp.pdf", "the user's own PDF");
  fileSystem().writeFile(inputDir_ + "/first doc_tmp_2.log", "the user's own log");
  const std::string outside = scratch("outside.pdf");
  ASSERT_EQ(symlink(outside.c_str(), (inputDir_ + "/first doc_tmp_3.pdf").c_str()), 0);  // pointing nowhere yet
  const std::string script = "' a comment\r\n" + first + "\r\n\r\n   \r\n" + scratch("missing.pdf") + "\n" +
                             "   " + Corpus("gif/dispose_bgnd.gif") + "  \r" + "  ' " + last + "\r\n" +
                             Corpus("jpg/flower.jpg") + "\n" + same + "\n" + last;  // no line end after the last
  EXPECT_EQ(run(script), ScriptRunEnd::Finished);
  EXPECT_EQ(reasons_, std::vector<std::string>{});
  // The pictures' pages (five frames, one photo) hold no text.
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"One", "Two", "", "", "", "", "", "", "Other", "Four"}));
  EXPECT_EQ(ReadBytes(inputDir_ + "/first doc_tmp.pdf"), "the user's own PDF");
  EXPECT_EQ(ReadBytes(inputDir_ + "/first doc_tmp_2.log"), "the user's own log");
  EXPECT_FALSE(FileExistsOnDisk(outside));
  EXPECT_EQ(leftovers(), (std::vector<std::string>{"first doc_tmp.pdf", "first doc_tmp_2.log", "first doc_tmp_3.pdf"}));
}

TEST_F(ScriptRunTest, ManyEntriesRunInLinearTimeWithoutPilingUpTemporaries) {
  // Every temporary is synced to its disk; on a memory file system what is left is the run's own
  // work, which grew with the cube of the entries of one base name (each name chosen by looking
  // through all earlier ones): 5,000 took many minutes.
  struct statfs memory {};
  if (statfs("/dev/shm", &memory) != 0 || memory.f_type != TMPFS_MAGIC) GTEST_SKIP() << "no tmpfs at /dev/shm";
  environment.set("TMPDIR", "/dev/shm");
  const TemporaryDirectory shm("vellumdock-test");
  ASSERT_TRUE(shm.ok());
  inputDir_ = shm.path();
  const Deadline deadline(std::chrono::seconds(120), "a script of 5,000 entries");
  const std::string even = MakeTextPdf(scratchFolder("even") + "/page.pdf", {"Even"});
  const std::string odd = MakeTextPdf(scratchFolder("odd") + "/page.pdf", {"Odd"});
  constexpr int kEntries = 5000;
  std::string script;
  for (int i = 0; i < kEntries; ++i) script += (i % 2 == 0 ? even : odd) + "\r\n";
  std::size_t mostFilesAtOnce = 0;
  stopAsked = [&, checkPoints = 0]() mutable {
    if (++checkPoints % 100 == 0) mostFilesAtOnce = std::max(mostFilesAtOnce, DirectoryEntries(inputDir_).size());
    return false;
  };
  EXPECT_EQ(run(script), ScriptRunEnd::Finished);
  EXPECT_EQ(reasons_, std::vector<std::string>{});
  const std::vector<std::string> pages = PageTexts(combined());
  ASSERT_EQ(pages.size(), static_cast<std::size_t>(kEntries));
  for (int i = 0; i < kEntries; ++i) ASSERT_EQ(pages[static_cast<std::size_t>(i)], i % 2 == 0 ? "Even" : "Odd") << i;
  EXPECT_LT(mostFilesAtOnce, 300u);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ScriptRunTest, FailuresAreLoggedAndNeitherThemNorAStopLeaveTemporaries) {
  // Failed entries are logged each, and the rest is joined.
  run(Corpus("broken/truncated_jpeg.jpg") + "\r\n" + makePdf("good.pdf", {"Good"}) + "\r\n" +
      Corpus("broken/badcrc.png") + "\r\n");
  ASSERT_EQ(reasons_.size(), 2u);
  EXPECT_EQ(reasons_[0].rfind(Corpus("broken/truncated_jpeg.jpg") + ": The image ", 0), 0u) << reasons_[0];
  EXPECT_EQ(PageTexts(combined()), std::vector<std::string>{"Good"});
  EXPECT_TRUE(leftovers().empty());

  // All entries failing: one failure, no PDF.
  std::remove(combined().c_str());
  reasons_.clear();
  run(Corpus("broken/badcrc.png") + "\r\n" + scratch("nothing.pdf") + "\r\n");
  EXPECT_EQ(reasons_.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(combined()));

  // A failed join still removes the temporaries and keeps the entries.
  reasons_.clear();
  const std::string broken = scratch("broken.pdf");
  fileSystem().writeFile(broken, "%PDF-1.4\nnot really\n");
  run(makePdf("a.pdf", {"A"}) + "\r\n" + broken + "\r\n");
  EXPECT_EQ(reasons_.size(), 1u);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(FileExistsOnDisk(broken));

  // A stop ends the run before the next line; the next start runs the script again from
  // its first line, so nothing of this run stays.
  stopAsked = [checkPoints = 0]() mutable { return ++checkPoints > 1; };
  EXPECT_EQ(run(scratch("a.pdf") + "\r\n" + makePdf("b.pdf", {"B"}) + "\r\n"), ScriptRunEnd::StopRequested);
  EXPECT_FALSE(FileExistsOnDisk(combined()));
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(FileExistsOnDisk(inputDir_ + "/multiple.scr"));
}

TEST_F(ScriptRunTest, EntriesTakeTheirRowWithoutSecurityAndAnyFailureIsLogged) {
  EngineScript script;
  script.duringCall = [](const EngineCall& call) {
    if (call.arguments.at(1).find("first.txt") != std::string::npos) throw 42;  // not even a std::exception
  };
  RecordingEngine recording(script);
  std::string lines;
  for (const char* name : {"first.txt", "book.xls", "nested.scr", "tool.exe"}) {
    fileSystem().writeFile(scratch(name), name);
    lines += scratch(name) + "\r\n";
  }
  EXPECT_EQ(run(lines, &recording), ScriptRunEnd::Finished);
  EXPECT_EQ(reasons_, std::vector<std::string>{scratch("first.txt") + ": The conversion failed for an unknown reason."});
  std::vector<std::string> operations;
  for (const EngineCall& call : script.calls) operations.push_back(call.operation);
  EXPECT_EQ(operations, (std::vector<std::string>{"CreatePDFfromTextFile3", "CreatePDFfromExcel", "CreatePDFfromTextFile3",
                                                  "CreatePDFfromTextFile3", "CreatePDFfromMultiPDF"}));
  EXPECT_EQ(script.calls.at(1).arguments.back(), "blnApplySecurity=false");
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
  ASSERT_EQ(mkfifo(pipePdf.c_str(), 0600), 0);
  const std::string endless = scratch("endless.pdf");
  ASSERT_EQ(symlink("/dev/zero", endless.c_str()), 0);
  const std::string folder = scratchFolder("folder.pdf");
  // A link to an ordinary file is still an entry.
  const std::string linked = scratch("linked.pdf");
  ASSERT_EQ(symlink(good.c_str(), linked.c_str()), 0);
  run(good + "\r\n" + pipePdf + "\r\n" + endless + "\r\n" + folder + "\r\n" + linked + "\r\n");
  const std::string why = ": not an ordinary file, so the script's entry is left out.";
  EXPECT_EQ(reasons_, (std::vector<std::string>{pipePdf + why, endless + why, folder + why}));
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"Good", "Good"}));
  EXPECT_TRUE(leftovers().empty());

  // File reads and copies take ordinary files whole and nothing else.
  for (const std::string& source : {pipePdf, std::string("/dev/zero"), folder}) {
    EXPECT_THROW(fileSystem().readFile(source), FileError) << source;
    EXPECT_THROW(fileSystem().copyFile(source, scratch("copy.pdf")), FileError) << source;
  }
  EXPECT_FALSE(FileExistsOnDisk(scratch("copy.pdf")));
  const std::string text = std::string(200000, 'x') + "end";
  fileSystem().writeFile(scratch("text.txt"), text);
  fileSystem().copyFile(scratch("text.txt"), scratch("copy.txt"));
  EXPECT_EQ(fileSystem().readFile(scratch("copy.txt")), text);
}

class ListedMounts : public MountTable {
 public:
  std::vector<MountEntry> mounts() override { return entries; }
  std::vector<MountEntry> entries;
};

TEST(NetworkPathsTest, DrivesAndNetworkLocationsFollowTheMountTableWithItsEscapes) {
  ListedMounts mounts;
  const ScopedSeam<MountTable> seam(mounts);
  mounts.entries = ParseMountInfo(
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 0:40 / /mnt/office\\040share rw,relatime shared:20 - cifs //Server/Office rw,vers=3.0\n"
      "41 22 0:41 / /home/exports rw - nfs4 nas:/srv/exports rw\n"
      "42 22 0:42 / /mnt/laptop rw - fuse.sshfs ann@laptop:/home/ann rw\n"
      "43 41 8:2 / /home/exports/local rw - ext4 /dev/sdb1 rw\n");
  const auto fields = [](const MountEntry& mount) {
    return mount.mountPoint + "|" + mount.source + "|" + mount.fileSystem;
  };
  ASSERT_EQ(mounts.entries.size(), 5u);
  EXPECT_EQ(fields(mounts.entries[1]), "/mnt/office share|//Server/Office|cifs");
  EXPECT_FALSE(LinuxMountTable().mounts().empty());
  // Only blanks separate fields: other white space is part of a name, as the kernel
  // writes it unescaped.
  const std::vector<MountEntry> odd =
      ParseMountInfo("50 22 0:50 / /mnt/odd\rname\f\vx rw,relatime - cifs //S/Odd\rShare rw\n");
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(fields(odd[0]), "/mnt/odd\rname\f\vx|//S/Odd\rShare|cifs");

  // The builder writes network locations only for files on network drives (their drive,
  // its kind and its network name found through the mounts), and the run takes what it
  // writes for a network location and finds it through the same mount.
  const std::pair<std::string, std::string> written[] = {
      {"/mnt/office share/docs/a.doc", "//Server/Office/docs/a.doc"}, {"/home/exports/b.xls", "nas:/srv/exports/b.xls"},
      {"/mnt/laptop/notes.txt", "ann@laptop:/home/ann/notes.txt"},    {"/home/exports/local/c.pdf", ""},
      {"/mnt/office sharex/a.doc", ""},                                {"relative/a.doc", ""}};
  for (const auto& [path, location] : written) {
    EXPECT_EQ(ToNetworkPath(path), location.empty() ? path : location) << path;
    if (location.empty()) continue;
    EXPECT_TRUE(IsNetworkLocation(location)) << location;
    EXPECT_EQ(ResolveNetworkLocation(location), path) << location;
  }
  // A share's server and name in any case and with either slash (the run below), NFS paths
  // in their own case; a share name must end at a folder boundary.
  const std::pair<std::string, std::optional<std::string>> resolved[] = {
      {"//laptop/home/ann/notes.txt", "/mnt/laptop/notes.txt"}, {"nas:/SRV/exports/b.xls", std::nullopt},
      {"//server/officex/a.doc", std::nullopt},                  {"/mnt/office share/a.doc", std::nullopt}};
  for (const auto& [location, path] : resolved) EXPECT_EQ(ResolveNetworkLocation(location), path) << location;
  // What the builder writes is a network location (above); these are not.
  for (const char* entry : {"/mnt/a.doc", "relative/a.doc", "C:\\Docs\\a.doc", "dir/x:/a.doc", "ann@:/a.doc", ":/a.doc",
                            "host:", "host:relative"}) {
    EXPECT_FALSE(IsNetworkLocation(entry)) << entry;
  }
}

// The builder and the run on one machine: a share mounted over a folder of the test's.
TEST_F(ScriptRunTest, BuilderAddsFilesOnANetworkDriveByTheirNetworkNameOnlyWithTheOptionAndTheRunFindsThem) {
  const std::string share = environment.path("mnt/office");
  const std::string local = environment.path("data disk");
  for (const std::string& folder : {share, local}) {
    ASSERT_TRUE(ensureDirectory(folder + "/docs"));
    WriteBytes(folder + "/docs/a.doc", "a");
  }
  WriteBytes(environment.path("hosts"), "");
  ListedMounts mounts;
  const ScopedSeam<MountTable> seam(mounts);
  mounts.entries = {{"overlay", "/", "overlay"}, {"proc", "/proc", "proc"}, {"tmpfs", "/dev/shm", "tmpfs"},
                    {"/dev/sda1", local, "ext4"},
                    {"/dev/sda1", environment.path("hosts"), "ext4"},  // a file mounted over a file
                    {"//Server/Office/", share, "cifs"}};
  const auto addFrom = [](ScriptBuilder& builder, const std::string& folder) {
    EXPECT_TRUE(builder.changeDirectory(folder + "/docs"));
    builder.selectFile(0);
    builder.addSelectedFile();
    return builder.entries().back();
  };
  // The drive list shows the volumes that hold files.
  std::vector<std::string> labels;
  for (const DriveEntry& drive : MountedDrives()) labels.push_back(drive.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"/", local, share + "  [//Server/Office/]"}));  // by path

  ScriptBuilder builder;
  builder.changeDrive(share);
  EXPECT_EQ(builder.directory(), share);
  EXPECT_FALSE(builder.uncPaths());
  EXPECT_EQ(addFrom(builder, share), share + "/docs/a.doc");
  builder.setUncPaths(true);
  EXPECT_EQ(settingsStore().read("UNC"), "1");
  EXPECT_EQ(addFrom(builder, share), "//Server/Office/docs/a.doc");
  EXPECT_EQ(addFrom(builder, local), local + "/docs/a.doc");
  // The run reads a share's files through their mount, whichever way the name is written.
  MakeTextPdf(share + "/docs/q1.pdf", {"Quarter"});
  run("\\\\server\\office\\docs\\q1.pdf\r\n//Server/Office/docs/q1.pdf\r\n\\\\elsewhere\\office\\docs\\q1.pdf\r\n");
  EXPECT_EQ(PageTexts(combined()), (std::vector<std::string>{"Quarter", "Quarter"}));
  EXPECT_EQ(reasons_, std::vector<std::string>{});

  // A file name with a line break would be two entries of the script: it is not added.
  ASSERT_TRUE(ensureDirectory(environment.path("odd/docs")));
  WriteBytes(environment.path("odd/docs/two\nlines.doc"), "");
  EXPECT_EQ(addFrom(builder, environment.path("odd")), local + "/docs/a.doc");
  EXPECT_EQ(builder.files(), std::vector<std::string>{"two\nlines.doc"});
  EXPECT_EQ(builder.entries().size(), 3u);
}

}  // namespace
}  // namespace vd::test
