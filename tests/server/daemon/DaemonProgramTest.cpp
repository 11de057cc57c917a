// The built vellumdkd in a scratch world: files dropped while it runs are converted, its
// standard output is the window's log, a failure adds its reason on standard error, a
// stop signal lets the conversion in hand finish, and bad command lines end with the
// documented codes. A program killed mid-job leaves no half-written PDF, and its restart
// makes the one whole PDF.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "../ProgramFixture.h"
#include "platform/SettingsStore.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

// The processes below pid, children and their children, as /proc shows them now.
std::set<pid_t> descendantsOf(pid_t root) {
  std::multimap<pid_t, pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...: the command may hold spaces and parentheses.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string state;
    pid_t parent = 0;
    if (rest >> state >> parent) children.emplace(parent, static_cast<pid_t>(std::stol(name)));
  }
  std::set<pid_t> found;
  std::vector<pid_t> open{root};
  while (!open.empty()) {
    const pid_t pid = open.back();
    open.pop_back();
    for (auto [it, end] = children.equal_range(pid); it != end; ++it) {
      if (found.insert(it->second).second) open.push_back(it->second);
    }
  }
  return found;
}

std::set<pid_t> lanesOf(pid_t daemon) {
  std::set<pid_t> lanes;
  for (const pid_t pid : descendantsOf(daemon)) {
    if (ReadBytes("/proc/" + std::to_string(pid) + "/cmdline").find("vellumdk-lane") != std::string::npos) {
      lanes.insert(pid);
    }
  }
  return lanes;
}

class DaemonProgramTest : public ProgramFixture {
 protected:
  DaemonProgramTest() : ProgramFixture("vellumdkd") {}

  void SetUp() override {
    ProgramFixture::SetUp();
    // The stored directories are not the ones the command line names: the overrides win.
    settingsStore().write("InputDir", environment_.path("home/stored in"));
    settingsStore().write("OutputDir", environment_.path("home/stored out"));
  }

  std::unique_ptr<RunningProgram> start(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"--input", input_, "--output", output_, "--interval", "1"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return std::make_unique<RunningProgram>(program_, arguments, log_, std::vector<std::pair<std::string, std::string>>{},
                                            errors_);
  }

  bool waitFor(RunningProgram& running, const std::function<bool()>& done) {
    return WaitUntil(running, done, std::chrono::seconds(180));
  }

  std::string describe() const { return "stdout:\n" + ReadBytes(log_) + "stderr:\n" + ReadBytes(errors_); }

  // The log's arrow lines: input path to output path, in the order written.
  std::vector<std::pair<std::string, std::string>> arrows() const {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& line : linesOf(ReadBytes(log_))) {
      if (const auto at = line.find(" --> "); at != std::string::npos) found.emplace_back(line.substr(0, at), line.substr(at + 5));
    }
    return found;
  }

  const std::string log_ = environment_.path("vellumdkd.out");
  const std::string errors_ = environment_.path("vellumdkd.err");
};

TEST_F(DaemonProgramTest, ConvertsDroppedFilesAndPrintsTheWindowsLogLines) {
  // One file after the other, as the window converts them.
  auto running = start({"--jobs", "1"});
  ASSERT_TRUE(running->running());
  CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/alphabet.ps");
  CopySettledFile(Corpus("jpg/flower.jpg"), input_ + "/flower.jpg");
  WriteSettledFile(input_ + "/broken.ps", "%!PS\nnosuchoperator\nshowpage\n");

  ASSERT_TRUE(waitFor(*running, [&] {
    const std::vector<std::string> left = DirectoryEntries(input_);
    return left == std::vector<std::string>{"failed"} && FileExistsOnDisk(input_ + "/failed/broken.ps.error.txt");
  })) << describe();

  // The service links no widgets: none is mapped into the running process.
  const std::string maps = ReadBytes("/proc/" + std::to_string(running->pid()) + "/maps");
  EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);

  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();

  EXPECT_EQ(PageCount(output_ + "/alphabet.pdf"), 1);
  EXPECT_NE(PdfText(output_ + "/alphabet.pdf").find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_EQ(PageCount(output_ + "/flower.pdf"), 1);
  EXPECT_NE(ReadBytes(output_ + "/flower.pdf").find(ReadBytes(Corpus("jpg/flower.jpg"))), std::string::npos);
  EXPECT_FALSE(FileExistsOnDisk(output_ + "/broken.pdf"));

  // Standard output: exactly the log box's lines, each whole; the failure's own line follows
  // its file's arrow line.
  const std::vector<std::string> lines = linesOf(ReadBytes(log_));
  const std::multiset<std::string> expected = {
      input_ + "/alphabet.ps --> " + output_ + "/alphabet.pdf",
      input_ + "/flower.jpg --> " + output_ + "/flower.pdf",
      input_ + "/broken.ps --> " + output_ + "/broken.pdf",
      "Unable to create PDF.",
  };
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected) << describe();
  const auto broken = std::find(lines.begin(), lines.end(), input_ + "/broken.ps --> " + output_ + "/broken.pdf");
  ASSERT_NE(broken, lines.end());
  ASSERT_NE(broken + 1, lines.end());
  EXPECT_EQ(*(broken + 1), "Unable to create PDF.");

  // Standard error: one line naming the file, with the reason kept beside the failed input.
  const std::vector<std::string> errorLines = linesOf(ReadBytes(errors_));
  ASSERT_EQ(errorLines.size(), 1u) << describe();
  const std::string prefix = "vellumdkd: " + input_ + "/broken.ps: ";
  ASSERT_EQ(errorLines[0].rfind(prefix, 0), 0u) << errorLines[0];
  const std::string reason = errorLines[0].substr(prefix.size());
  EXPECT_FALSE(reason.empty());
  EXPECT_NE(ReadBytes(input_ + "/failed/broken.ps.error.txt").find(reason), std::string::npos) << reason;
}

// Two lanes on a burst in which several inputs want the same PDF name and one is corrupt:
// every input ends as exactly one PDF of its own content or in failed/, nothing is written
// over, and each log line is whole and names its file.
TEST_F(DaemonProgramTest, LanesConvertABurstWithoutLosingOrMixingFiles) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
  const std::string flower = ReadBytes(Corpus("jpg/flower.jpg"));
  struct Input {
    std::string name;
    std::string sample;  // empty: a corrupt PostScript file
  };
  const std::vector<Input> inputs = {
      {"a.ps", "ps/alphabet.ps"}, {"a.png", "png/basn2c16.png"},  {"a.jpg", "jpg/flower.jpg"},
      {"hopper.gif", "gif/hopper.gif"}, {"hopper.bmp", "bmp/hopper.bmp"}, {"golfer.eps", "eps/golfer.eps"},
      {"snowflak.ps", "ps/snowflak.ps"}, {"bad.ps", ""},
  };
  // The PDF made from an input holds that input's content, not another's.
  const auto expectMadeFrom = [&](const std::string& name, const std::string& pdf) {
    SCOPED_TRACE(name + " -> " + pdf);
    EXPECT_EQ(PageCount(pdf), 1);
    const bool fromAlphabet = PdfText(pdf).find(alphabet) != std::string::npos;
    const bool fromFlower = ReadBytes(pdf).find(flower) != std::string::npos;
    EXPECT_EQ(fromAlphabet, name == "a.ps");
    EXPECT_EQ(fromFlower, name == "a.jpg");
  };

  for (const bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "overwrite" : "numbered names");
    std::filesystem::remove_all(input_);
    std::filesystem::remove_all(output_);
    ASSERT_TRUE(ensureDirectory(input_));
    ASSERT_TRUE(ensureDirectory(output_));
    std::remove(log_.c_str());
    std::remove(errors_.c_str());
    for (const Input& input : inputs) {
      if (input.sample.empty()) {
        WriteSettledFile(input_ + "/" + input.name, "%!PS\nnosuchoperator\nshowpage\n");
      } else {
        CopySettledFile(Corpus(input.sample), input_ + "/" + input.name);
      }
    }
    // Under overwrite an earlier document of the name is replaced, never lost half-way.
    if (overwrite) MakeTextPdf(output_ + "/a.pdf", {"an earlier document"});

    auto running = start({"--jobs", "2", overwrite ? "--overwrite" : "--no-overwrite"});
    ASSERT_TRUE(waitFor(*running, [&] {
      return DirectoryEntries(input_) == std::vector<std::string>{"failed"} &&
             FileExistsOnDisk(input_ + "/failed/bad.ps.error.txt");
    })) << describe();
    running->signal(SIGTERM);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();

    EXPECT_EQ(DirectoryEntries(input_ + "/failed"), (std::vector<std::string>{"bad.ps", "bad.ps.error.txt"}));
    // Every line is whole and of a known form; a file's failure names the file.
    std::set<std::string> inputPaths;
    for (const Input& input : inputs) inputPaths.insert(input_ + "/" + input.name);
    std::multiset<std::string> deleted;
    for (const std::string& line : linesOf(ReadBytes(log_))) {
      if (line.find(" --> ") != std::string::npos) continue;
      if (const auto at = line.rfind(" deleted"); at != std::string::npos && at + 8 == line.size()) {
        deleted.insert(line.substr(0, at));
        continue;
      }
      EXPECT_EQ(line, input_ + "/bad.ps: Unable to create PDF.");
    }
    const std::vector<std::pair<std::string, std::string>> handed = arrows();
    ASSERT_EQ(handed.size(), inputs.size()) << describe();
    std::map<std::string, std::string> outputOf(handed.begin(), handed.end());
    EXPECT_EQ(std::set<std::string>(inputPaths), [&] {
      std::set<std::string> seen;
      for (const auto& [in, out] : handed) seen.insert(in);
      return seen;
    }());

    std::set<std::string> made;
    for (const Input& input : inputs) {
      if (input.sample.empty()) continue;
      made.insert(outputOf[input_ + "/" + input.name]);
    }
    if (!overwrite) {
      // Three inputs named a, two named hopper: each got a name of its own.
      EXPECT_EQ(made.size(), inputs.size() - 1);
      EXPECT_TRUE(deleted.empty());
      for (const Input& input : inputs) {
        if (!input.sample.empty()) expectMadeFrom(input.name, outputOf[input_ + "/" + input.name]);
      }
    } else {
      // One after the other, each a.* replaced the PDF before it: the last one handed out
      // is what a.pdf holds, and nothing set aside is left over.
      EXPECT_EQ(deleted, (std::multiset<std::string>{output_ + "/a.pdf", output_ + "/a.pdf", output_ + "/a.pdf",
                                                      output_ + "/hopper.pdf"}));
      std::string lastOfA;
      for (const auto& [in, out] : handed) {
        if (out == output_ + "/a.pdf") lastOfA = in.substr(input_.size() + 1);
      }
      expectMadeFrom(lastOfA, output_ + "/a.pdf");
      EXPECT_EQ(PdfText(output_ + "/a.pdf").find("an earlier document"), std::string::npos);
    }
    std::vector<std::string> pdfs;
    for (const std::string& name : DirectoryEntries(output_)) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".pdf") pdfs.push_back(output_ + "/" + name);
    }
    EXPECT_EQ(std::set<std::string>(pdfs.begin(), pdfs.end()), made) << describe();
    const std::vector<std::string> errorLines = linesOf(ReadBytes(errors_));
    ASSERT_EQ(errorLines.size(), 1u) << describe();
    EXPECT_EQ(errorLines[0].rfind("vellumdkd: " + input_ + "/bad.ps: ", 0), 0u) << errorLines[0];
  }
}

// A lane killed in the middle of a file: that file is kept in failed/ with the reason, a
// fresh lane takes the next file; then SIGTERM lets the files in hand finish, the daemon
// exits 0, files not yet handed out stay, and no lane or worker of a lane is left.
TEST_F(DaemonProgramTest, LanesSurviveADeadLaneAndStopWithoutLeavingProcesses) {
  const int kFiles = 6;
  for (int n = 0; n < kFiles; ++n) {
    WriteSettledFile(input_ + "/slow" + std::to_string(n) + ".ps", slowJob(3000, "finished slowly " + std::to_string(n)));
  }
  auto running = start({"--jobs", "2"});
  std::set<pid_t> seen;
  ASSERT_TRUE(waitFor(*running, [&] { return arrows().size() == 2 && lanesOf(running->pid()).size() == 2; }))
      << describe();
  const std::set<pid_t> lanes = lanesOf(running->pid());
  seen = descendantsOf(running->pid());
  ::kill(*lanes.begin(), SIGKILL);

  ASSERT_TRUE(waitFor(*running, [&] {
    const std::vector<std::string> failed = DirectoryEntries(input_ + "/failed");
    return failed.size() == 2 && arrows().size() >= 3;
  })) << describe();
  const std::set<pid_t> more = descendantsOf(running->pid());
  seen.insert(more.begin(), more.end());
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(120)), 0) << describe();
  for (const pid_t pid : seen) EXPECT_TRUE(ProcessEnds(pid)) << "process " << pid << " was left running";

  // Each file is in exactly one place: still waiting, converted, or kept as failed.
  const std::map<std::string, std::string> outputOf = [&] {
    const auto handed = arrows();
    return std::map<std::string, std::string>(handed.begin(), handed.end());
  }();
  int converted = 0;
  int failed = 0;
  for (int n = 0; n < kFiles; ++n) {
    const std::string name = "slow" + std::to_string(n) + ".ps";
    SCOPED_TRACE(name);
    const std::string in = input_ + "/" + name;
    const bool waiting = FileExistsOnDisk(in);
    const bool kept = FileExistsOnDisk(input_ + "/failed/" + name);
    const auto arrow = outputOf.find(in);
    if (arrow == outputOf.end()) {
      EXPECT_TRUE(waiting && !kept) << describe();
      continue;
    }
    EXPECT_FALSE(waiting);
    if (kept) {
      ++failed;
      EXPECT_NE(ReadBytes(input_ + "/failed/" + name + ".error.txt").find("lane stopped unexpectedly"),
                std::string::npos);
      EXPECT_FALSE(FileExistsOnDisk(arrow->second));
    } else {
      ++converted;
      EXPECT_NE(PdfText(arrow->second).find("finished slowly " + std::to_string(n)), std::string::npos);
    }
  }
  EXPECT_EQ(failed, 1) << describe();
  // The lane's other file and the replacement lane's first one, at least.
  EXPECT_GE(converted, 2) << describe();
}

// The interpreter workers still running for the client with the given process id.
std::vector<std::string> workersOf(pid_t client) {
  std::vector<std::string> workers;
  const std::string mark = std::string("--client=") + std::to_string(client) + '\0';
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ReadBytes("/proc/" + pid + "/cmdline").find(mark) != std::string::npos) workers.push_back(pid);
  }
  return workers;
}

// Killed mid-job, the program leaves no half-written PDF and its worker goes with it; the
// restart takes the file again, and a stop signal while it converts lets it finish.
TEST_F(DaemonProgramTest, KilledMidJobLeavesNoHalfPdfAndAStopLetsTheRestartFinishOneWholePdf) {
  for (const bool overwrite : {false, true}) {
    const int stopSignal = overwrite ? SIGINT : SIGTERM;
    SCOPED_TRACE(overwrite);
    for (const std::string& name : DirectoryEntries(output_)) std::remove((output_ + "/" + name).c_str());
    // With overwrite, an earlier PDF of the name is set aside while its replacement is made.
    if (overwrite) MakeTextPdf(output_ + "/slow.pdf", {"earlier slow"});
    WriteSettledFile(input_ + "/slow.ps", slowJob(3000, "finished slowly"));
    const std::vector<std::string> extra = overwrite ? std::vector<std::string>{"--overwrite"} : std::vector<std::string>{};
    const std::string arrow = input_ + "/slow.ps --> " + output_ + "/slow.pdf";
    const auto converting = [&] { return ReadBytes(log_).find(arrow) != std::string::npos; };
    std::remove(log_.c_str());
    pid_t killed = 0;
    {
      auto running = start(extra);
      ASSERT_TRUE(waitFor(*running, converting)) << describe();
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      killed = running->pid();
      running->signal(SIGKILL);
      EXPECT_EQ(running->waitForExit(std::chrono::seconds(30)), -1);
    }
    // Mid-job, nothing half-written ever had the PDF's name.
    if (!overwrite) {
      EXPECT_FALSE(FileExistsOnDisk(output_ + "/slow.pdf"));
    }
    // The interpreter worker went with its client.
    for (int waited = 0; waited < 100 && !workersOf(killed).empty(); ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(workersOf(killed), std::vector<std::string>{});

    std::remove(log_.c_str());
    auto restarted = start(extra);
    ASSERT_TRUE(waitFor(*restarted, converting)) << describe();
    restarted->signal(stopSignal);
    EXPECT_EQ(restarted->waitForExit(std::chrono::seconds(120)), 0) << describe();
    EXPECT_TRUE(DirectoryEntries(input_).empty());
    // One whole PDF under the final name: no numbered one beside a damaged one, no
    // temporary, nothing set aside.
    EXPECT_EQ(DirectoryEntries(output_), std::vector<std::string>{"slow.pdf"});
    // Nor does the killed run's worker folder or interpreter input link outlive the restart.
    const std::string killedMark = std::to_string(killed) + "-";
    const char* temporaryBase = std::getenv("TMPDIR");
    for (const std::string& entry : DirectoryEntries(temporaryBase != nullptr ? temporaryBase : "/tmp")) {
      EXPECT_NE(entry.rfind("vellumdock-worker-" + killedMark, 0), 0u) << entry;
    }
    for (const std::string& entry : DirectoryEntries(environment_.path("runtime/vellumdock/interpreter-input"))) {
      EXPECT_NE(entry.rfind("job-" + killedMark, 0), 0u) << entry;
    }
    EXPECT_EQ(PageCount(output_ + "/slow.pdf"), 1);
    EXPECT_NE(PdfText(output_ + "/slow.pdf").find("finished slowly"), std::string::npos);
  }
}

TEST_F(DaemonProgramTest, OneInstanceScansAFolderAndItsClaimEndsWithItsProcess) {
  constexpr int kFiles = 120;
  std::set<std::string> expected;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "photo " + std::to_string(i);
    CopySettledFile(Corpus("jpg/flower.jpg"), input_ + "/" + name + ".jpg");
    expected.insert(name + ".pdf");
  }
  const auto outputs = [&] {
    std::set<std::string> pdfs;
    for (const std::string& name : DirectoryEntries(output_)) {
      if (name.front() != '.') pdfs.insert(name);
    }
    return pdfs;
  };
  const auto instance = [&](const std::string& input, const std::string& name) {
    return std::make_unique<RunningProgram>(
        program_, std::vector<std::string>{"--input", input, "--output", output_, "--interval", "1"},
        environment_.path(name + ".out"), std::vector<std::pair<std::string, std::string>>{},
        environment_.path(name + ".err"));
  };
  auto first = instance(input_, "first");
  ASSERT_TRUE(waitFor(*first, [&] { return outputs().size() >= 5; })) << describe();

  // A second instance, on another spelling of the same folder, says who serves it and ends.
  const std::string otherSpelling = environment_.path("home/link to in");
  ASSERT_EQ(symlink(input_.c_str(), otherSpelling.c_str()), 0);
  auto second = instance(otherSpelling + "/", "second");
  EXPECT_EQ(second->waitForExit(std::chrono::seconds(60)), 4);
  EXPECT_EQ(ReadBytes(environment_.path("second.err")),
            "vellumdkd: " + otherSpelling + "/ is already being scanned by another instance (process " +
                std::to_string(first->pid()) + "). Not scanning.\n");

  // Killed outright, the first leaves no claim behind: a third takes the folder over.
  ASSERT_TRUE(waitFor(*first, [&] { return outputs().size() >= 20; })) << describe();
  first->signal(SIGKILL);
  EXPECT_EQ(first->waitForExit(std::chrono::seconds(60)), -1);
  auto third = instance(input_, "third");
  CopySettledFile(Corpus("jpg/flower.jpg"), input_ + "/late.jpg");
  expected.insert("late.pdf");
  ASSERT_TRUE(waitFor(*third, [&] { return DirectoryEntries(input_).empty(); }))
      << ReadBytes(environment_.path("third.err"));
  third->signal(SIGTERM);
  EXPECT_EQ(third->waitForExit(std::chrono::seconds(60)), 0);

  // Every input became one whole PDF of its own; none was lost.
  EXPECT_EQ(outputs(), expected);
  const std::string jpeg = ReadBytes(Corpus("jpg/flower.jpg"));
  for (const std::string& pdf : expected) {
    EXPECT_EQ(PageCount(output_ + "/" + pdf), 1) << pdf;
    EXPECT_NE(ReadBytes(output_ + "/" + pdf).find(jpeg), std::string::npos) << pdf;
  }
}

TEST_F(DaemonProgramTest, CommandLinesEndWithTheDocumentedCodes) {
  const std::string notADirectory = environment_.path("home/plain file");
  WriteBytes(notADirectory, "x");
  expectOutcomes({
      {{"--help"}, 0, "--interval SECONDS", ""},
      {{"--version"}, 0, "vellumdkd (Vellumdock) ", ""},
      {{"--bogus"}, 2, "", "unknown argument '--bogus'"},
      {{"--interval", "0"}, 2, "", "--interval takes whole seconds"},
      {{"--interval", "2.5"}, 2, "", "--interval takes whole seconds"},
      {{"--interval", "40000"}, 2, "", "--interval takes whole seconds"},
      {{"--input"}, 2, "", "--input needs a directory"},
      {{"--overwrite=1"}, 2, "", "--overwrite takes no value"},
      {{"--jobs", "0"}, 2, "", "--jobs takes a whole number from 1 to 256"},
      {{"--jobs=many"}, 2, "", "--jobs takes a whole number from 1 to 256"},
      {{"--input", input_ + "/nowhere", "--output", output_}, 3, "", "input directory " + input_ + "/nowhere: No such"},
      {{"--input", input_, "--output", notADirectory}, 3, "", "output directory " + notADirectory + ": not a directory"},
      {{"--input", notADirectory, "--output", output_}, 3, "", "not a directory"},
  });
  // Nothing was converted or created by a refused start.
  EXPECT_TRUE(DirectoryEntries(output_).empty());
}

}  // namespace
}  // namespace vd::test
