// The scan cycle with the real engine against what goes wrong around it: an output folder
// that is full, read-only or gone, inputs that are empty, cut short or noise in every
// converted kind, awkward names, a file written to while it is converted. Whatever happens,
// every input ends as a whole PDF or in failed/ with its reason, the cycle goes on, and no
// helper process outlives it.
#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "ProgramFixture.h"
#include "ScanCycleFixture.h"
#include "common/PrivateDirectories.h"
#include "outside/acrobat/PdfWholeness.h"
#include "server/PathNames.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

// A small file system of its own over a folder, gone again with the object.
struct ScratchMount {
  ScratchMount(std::string folder, const std::string& options) : folder(std::move(folder)) {
    mounted = mount("vellumdock-test", this->folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted) why = std::strerror(errno);
  }
  ~ScratchMount() { unmount(); }
  void unmount() {
    if (mounted) umount2(folder.c_str(), MNT_DETACH);
    mounted = false;
  }
  std::string folder;
  bool mounted = false;
  std::string why;
};

class RobustnessTest : public ScanCycleFixture {
 protected:
  void SetUp() override {
    ScanCycleFixture::SetUp();
    realEngine = true;
    environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
    environment.set("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR);
    environment.set("VELLUMDOCK_JOB_TIMEOUT", "20");
    runSetup(environment);
  }

  void TearDown() override {
    // The engine went with its cycle; what may stay is the one interpreter worker the
    // process keeps warm for its next job.
    const std::vector<pid_t> children = ChildrenStillRunning(0.5);
    EXPECT_LE(children.size(), 1u);
    for (const pid_t child : children) {
      EXPECT_EQ(ReadBytes("/proc/" + std::to_string(child) + "/comm").rfind("vellumdk-gs", 0), 0u) << child;
    }
  }

  // The input ended as a whole PDF of its base name, or in failed/ with its reason.
  // Returns true for the PDF.
  bool endedWholeOrFailed(const std::string& name) {
    const std::string pdf = out(GetBaseName(name) + ".pdf");
    const std::string kept = in("failed/" + name);
    EXPECT_FALSE(FileExistsOnDisk(in(name))) << name;
    if (FileExistsOnDisk(kept)) {
      EXPECT_FALSE(FileExistsOnDisk(pdf)) << name;
      EXPECT_NE(ReadBytes(kept + ".error.txt").find_first_not_of("\r\n"), std::string::npos) << name;
      return false;
    }
    EXPECT_EQ(WhyPdfIsNotWhole(pdf), std::nullopt) << name;
    return true;
  }

  // Whether an interpreter job of this process holds a whole copy of the input in its job
  // folder: from then on, what is written to the file comes while its conversion runs.
  static bool jobHoldsWholeCopyOf(const std::string& input) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto size = fs::file_size(input, error);
    const std::string shared = "vellumdock-worker-" + std::to_string(getpid()) + "-";
    for (const std::string& folder : DirectoryEntries(temporaryBase())) {
      if (error || folder.rfind(shared, 0) != 0) continue;
      for (fs::recursive_directory_iterator entry(temporaryBase() + "/" + folder, error), end; !error && entry != end;
           entry.increment(error)) {
        std::error_code unreadable;
        if (entry->path().filename() == "input.ps" && fs::file_size(entry->path(), unreadable) == size && !unreadable) {
          return true;
        }
      }
    }
    return false;
  }

  // Nothing half-written or set aside is left among a folder's names.
  void expectNoLeftovers(const std::string& folder) {
    for (const std::string& entry : DirectoryEntries(folder)) {
      EXPECT_EQ(entry.rfind(".vellumdock-new-", 0), std::string::npos) << entry;
      EXPECT_EQ(entry.find(".replaced"), std::string::npos) << entry;
    }
  }
};

TEST_F(RobustnessTest, OutputFolderFullReadOnlyOrGoneFailsItsFilesAndTheCycleGoesOn) {
  // The trouble, the options of a file system mounted over the output folder ("" for none)
  // and the room it has left. The image's PDF is about 33 KB: it cannot fit in any of them,
  // and is cut at different places of its writing.
  const std::vector<std::tuple<std::string, std::string, std::size_t>> cases = {
      {"full", "size=64k", 0}, {"almost room", "size=64k", 28672}, {"read-only", "size=64k,ro", 0}, {"removed", "", 0}};
  for (const auto& [trouble, mountOptions, freeBytes] : cases) {
    SCOPED_TRACE(trouble);
    emptyFolders();
    std::unique_ptr<ScratchMount> mounted;
    if (!mountOptions.empty()) {
      mounted = std::make_unique<ScratchMount>(outputDir, mountOptions);
      if (!mounted->mounted) GTEST_SKIP() << "cannot mount a small file system for the output: " << mounted->why;
      if (!mountOptions.ends_with(",ro")) WriteBytes(out("filler"), std::string(64 * 1024 - freeBytes, 'f'));
    }
    if (trouble == "removed") std::filesystem::remove_all(outputDir);
    CopySettledFile(Corpus("jpg/flower.jpg"), in("photo.jpg"));
    CopySettledFile(Corpus("ps/alphabet.ps"), in("letters.ps"));
    std::vector<std::string> leftInOutput;
    bool lettersFitted = false;
    betweenPasses = [&](int pause) {
      if (pause != 2) return;
      // The trouble ends; what the first pass left in the output folder is looked at first.
      if (FileExistsOnDisk(outputDir)) leftInOutput = DirectoryEntries(outputDir);
      expectNoLeftovers(outputDir);
      lettersFitted = FileExistsOnDisk(out("letters.pdf")) && !WhyPdfIsNotWhole(out("letters.pdf"));
      if (mounted) mounted->unmount();
      ASSERT_TRUE(ensureDirectory(outputDir));
      CopySettledFile(Corpus("jpg/flower.jpg"), in("after.jpg"));
    };
    runPasses(settings(), 2);

    EXPECT_FALSE(endedWholeOrFailed("photo.jpg"));
    if (mounted) {
      // The operator reads why, in the file system's own words.
      const std::string why = trouble == "read-only" ? "Read-only file system" : "No space left on device";
      EXPECT_NE(ReadBytes(in("failed/photo.jpg.error.txt")).find(why), std::string::npos);
    }
    // The small PostScript PDF may fit where the image does not; on the small file systems
    // it went with them.
    EXPECT_NE(FileExistsOnDisk(in("failed/letters.ps")), lettersFitted);
    EXPECT_TRUE(!lettersFitted || trouble == "almost room");
    for (const std::string& entry : leftInOutput) {
      EXPECT_TRUE(entry == "filler" || entry == "letters.log" || entry == "letters.pdf") << entry;
    }
    EXPECT_TRUE(endedWholeOrFailed("after.jpg"));
    EXPECT_NE(ReadBytes(out("after.pdf")).find(ReadBytes(Corpus("jpg/flower.jpg"))), std::string::npos);
  }
}

TEST_F(RobustnessTest, DamagedFilesOfEveryKindAndAwkwardNamesEndWholeOrFailedWithTheirReason) {
  const std::vector<std::pair<std::string, std::string>> samples = {
      {"ps", "ps/alphabet.ps"}, {"eps", "eps/golfer.eps"}, {"jpg", "jpg/flower.jpg"}, {"png", "png/pil123p.png"},
      {"gif", "gif/hopper.gif"}, {"tif", "tif/hopper_lzw.tif"}, {"bmp", "bmp/hopper.bmp"}, {"scr", ""}};
  std::vector<std::string> damaged;
  for (const auto& [kind, sample] : samples) {
    const std::string whole = sample.empty() ? in("letters.ps") + "\r\n" : ReadBytes(Corpus(sample));
    // Each its own base name: a PostScript and an EPS file of one name share their PDF's.
    WriteSettledFile(in("empty-" + kind + "." + kind), "");
    WriteSettledFile(in("half-" + kind + "." + kind), whole.substr(0, whole.size() / 2));
    std::mt19937 random(static_cast<unsigned>(damaged.size()));
    std::string noise(4096, '\0');
    for (char& byte : noise) byte = static_cast<char>(random() & 0xFF);
    WriteSettledFile(in("noise-" + kind + "." + kind), noise);
    for (const std::string stem : {"empty-", "half-", "noise-"}) damaged.push_back(stem + kind + "." + kind);
  }
  // Good files under names a shell or a careless parser would trip over: they convert.
  const std::vector<std::string> awkward = {"two  blanks 'single' \"double\".ps", "new\nline.jpg", "-dash.ps",
                                           "--output=x.jpg", "latin1 \xe9t\xe9 \xff.ps", "%d%s.jpg"};
  for (const std::string& name : awkward) {
    CopySettledFile(Corpus(GetExtension(name) == "ps" ? "ps/alphabet.ps" : "jpg/flower.jpg"), in(name));
  }
  runPasses(settings(), 1);

  for (const std::string& name : damaged) endedWholeOrFailed(name);
  // Nothing at all cannot be a document, whatever its kind.
  for (const auto& [kind, sample] : samples) EXPECT_TRUE(FileExistsOnDisk(in("failed/empty-" + kind + "." + kind))) << kind;
  for (const std::string& name : awkward) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(endedWholeOrFailed(name));
    // The text tools take names as UTF-8: they read a copy under a plain name.
    const std::string pdf = environment.path("checked.pdf");
    WriteBytes(pdf, ReadBytes(out(GetBaseName(name) + ".pdf")));
    EXPECT_EQ(PageCount(pdf), 1);
    const bool ps = GetExtension(name) == "ps";
    const std::string expected = ps ? "abcdefghijklmnopqrstuvwxyz" : ReadBytes(Corpus("jpg/flower.jpg"));
    EXPECT_NE((ps ? PdfText(pdf) : ReadBytes(pdf)).find(expected), std::string::npos);
  }
  EXPECT_EQ(DirectoryEntries(inputDir), std::vector<std::string>{"failed"});
  expectNoLeftovers(outputDir);
}

TEST_F(RobustnessTest, FileWrittenToDuringItsConversionStaysAndIsConvertedAgainWhole) {
  // The first part keeps the interpreter busy for two seconds; the writer adds a second
  // page meanwhile, as a slow copy over the network would.
  for (const bool overwrite : {true, false}) {
    SCOPED_TRACE(overwrite);
    emptyFolders();
    WriteSettledFile(in("growing.ps"), slowJob(2000, "first part"));
    std::thread writer;
    bool appended = false;
    // The cycle runs on the test's thread: the writer starts from the arrow line that comes
    // just before the conversion, and writes once the interpreter has the file.
    observer.onLine = [&](const std::string& line) {
      if (line != arrow("growing.ps", "growing.pdf") || appended) return;
      appended = true;
      writer = std::thread([&] {
        EXPECT_TRUE(EventuallyHolds([&] { return jobHoldsWholeCopyOf(in("growing.ps")); }, std::chrono::seconds(60)));
        std::ofstream(in("growing.ps"), std::ios::binary | std::ios::app) << "72 600 moveto (second part) show showpage\n";
      });
    };
    // The cycle's waits take no time here: once the writer is done, its file counts as settled.
    betweenPasses = [&](int) {
      if (!writer.joinable()) return;
      writer.join();
      Backdate(in("growing.ps"), 60);
    };
    ScanSettings scanSettings = settings();
    scanSettings.overwrite = overwrite;
    runPasses(scanSettings, 4);
    if (writer.joinable()) writer.join();

    EXPECT_FALSE(FileExistsOnDisk(in("growing.ps")));
    // The whole file's PDF: under its own name when it replaced the partial one, numbered
    // beside it otherwise.
    const std::string whole = out(overwrite ? "growing.pdf" : "growing_1.pdf");
    EXPECT_EQ(PageCount(whole), 2);
    EXPECT_NE(PdfText(whole).find("second part"), std::string::npos);
    EXPECT_EQ(PageCount(out("growing.pdf")), overwrite ? 2 : 1);
  }
}

}  // namespace
}  // namespace vd::test
