// The built vellumdkd in a scratch world: bursts of dropped files under two lanes end each
// as one PDF of its own or in failed/ with its reason, one instance scans a folder, a dead
// lane or a stop signal loses nothing and leaves no process, a program killed mid-job leaves
// no half-written PDF, and bad command lines end with the documented codes.
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include "../ProgramFixture.h"
#include "outside/acrobat/PdfWholeness.h"
#include "platform/SettingsStore.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

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

  // Waits until the input folder holds nothing but failed/ with its `failedEntries`, then
  // stops the program, which must end well.
  void drain(RunningProgram& running, std::size_t failedEntries) {
    ASSERT_TRUE(waitFor(running, [&] {
      return DirectoryEntries(input_) == std::vector<std::string>{"failed"} &&
             DirectoryEntries(input_ + "/failed").size() == failedEntries;
    })) << describe();
    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(std::chrono::seconds(120)), 0) << describe();
  }

  // The processes of this scratch world, however deep below the program and even once
  // their parent is gone: they carry the world's home in their environment.
  std::set<pid_t> processes(const std::string& command = "") const {
    std::set<pid_t> found;
    const std::string home = "HOME=" + environment_.path("home") + '\0';
    for (const std::string& pid : DirectoryEntries("/proc")) {
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      if (ReadBytes("/proc/" + pid + "/environ").find(home) == std::string::npos) continue;
      if (ReadBytes("/proc/" + pid + "/cmdline").find(command) != std::string::npos) found.insert(std::stoi(pid));
    }
    return found;
  }
  void expectNoProcessLeft() const {
    for (const pid_t pid : processes()) EXPECT_TRUE(ProcessEnds(pid, 10)) << "process " << pid << " was left running";
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

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

// A thousand small files dropped at once into the folder of a running instance with two
// lanes, pairs of them under one base name, while a second instance on another spelling of
// the folder is turned away. Each input is handed out once and ends as a whole PDF of its
// own content under a name of its own, or in failed/ with the reason it also says on
// standard error; every log line is whole, nothing else appears and no process is left.
TEST_F(DaemonProgramTest, ABurstOfAThousandFilesEndsWholeOrFailedUnderOneInstance) {
  auto running = start({"--jobs", "2", "--no-overwrite"});
  // Bytes that are not text fail at once; images and a few PostScript files convert.
  const std::vector<std::string> samples = {"jpg/flower.jpg", "png/basn2c16.png", "gif/hopper.gif"};
  std::map<std::string, std::string> converted;  // input, its sample
  std::set<std::string> failed;
  std::multiset<std::string> failureLines;
  for (int i = 0; i < 1000; ++i) {
    if (i % 2 == 0) {
      const std::string name = "f" + std::to_string(i) + ".dat";
      WriteSettledFile(input_ + "/" + name, std::string("\0\1", 2) + name);
      failed.insert({name, name + ".error.txt"});
      failureLines.insert(input_ + "/" + name + ": Unable to create PDF.");
      continue;
    }
    const std::string sample = i % 50 == 1 ? "ps/alphabet.ps" : samples[i / 2 % samples.size()];
    const std::string input = input_ + "/p" + std::to_string(i / 4) + sample.substr(sample.find('.'));
    CopySettledFile(Corpus(sample), input);
    converted[input] = sample;
  }
  ASSERT_TRUE(waitFor(*running, [&] { return DirectoryEntries(output_).size() >= 5; })) << describe();
  // Lanes are the daemon's children: a lane's child between its fork and its exec still
  // shows the lane's command line.
  const auto isLane = [&](pid_t pid) {
    const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = stat.rfind(')');
    return end != std::string::npos && std::atoi(stat.c_str() + end + 4) == running->pid();
  };
  const std::set<pid_t> lanes = processes("vellumdk-lane");
  EXPECT_EQ(std::count_if(lanes.begin(), lanes.end(), isLane), 2);
  // The service links no widgets: none is mapped into the running process.
  const std::string maps = ReadBytes("/proc/" + std::to_string(running->pid()) + "/maps");
  EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);

  const std::string otherSpelling = environment_.path("home/link to in");
  ASSERT_EQ(symlink(input_.c_str(), otherSpelling.c_str()), 0);
  RunningProgram second(program_, {"--input", otherSpelling + "/", "--output", output_}, environment_.path("second.out"),
                        {}, environment_.path("second.err"));
  EXPECT_EQ(second.waitForExit(std::chrono::seconds(60)), 4);
  EXPECT_EQ(ReadBytes(environment_.path("second.err")),
            "vellumdkd: " + otherSpelling + "/ is already being scanned by another instance (process " +
                std::to_string(running->pid()) + "). Not scanning.\n");

  drain(*running, failed.size());
  expectNoProcessLeft();

  const std::vector<std::pair<std::string, std::string>> handed = arrows();
  ASSERT_EQ(handed.size(), 1000u) << describe();
  std::map<std::string, std::string> outputOf(handed.begin(), handed.end());
  const std::string jpeg = ReadBytes(Corpus("jpg/flower.jpg"));
  std::set<std::string> pdfs;
  for (const auto& [input, sample] : converted) {
    SCOPED_TRACE(input);
    ASSERT_EQ(outputOf.count(input), 1u);
    const std::string& pdf = outputOf[input];
    pdfs.insert(pdf.substr(output_.size() + 1));
    EXPECT_EQ(WhyPdfIsNotWhole(pdf), std::nullopt);
    EXPECT_EQ(ReadBytes(pdf).find(jpeg) != std::string::npos, sample == "jpg/flower.jpg");
    // The PostScript files, and a sample of the images, by their pages and text.
    if (sample == "ps/alphabet.ps" || pdfs.size() % 50 == 0) {
      EXPECT_EQ(PageCount(pdf), 1);
      EXPECT_EQ(PdfText(pdf).find(kAlphabet) != std::string::npos, sample == "ps/alphabet.ps");
    }
  }
  EXPECT_EQ(pdfs.size(), converted.size());
  const std::vector<std::string> made = DirectoryEntries(output_);
  EXPECT_EQ(std::set<std::string>(made.begin(), made.end()), pdfs);
  const std::vector<std::string> kept = DirectoryEntries(input_ + "/failed");
  EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end()), failed);
  std::multiset<std::string> otherLines;
  for (const std::string& line : linesOf(ReadBytes(log_))) {
    if (line.find(" --> ") == std::string::npos) otherLines.insert(line);
  }
  EXPECT_EQ(otherLines, failureLines);
  // Standard error: one line per failed file, naming it, with the reason kept beside it.
  const std::vector<std::string> errorLines = linesOf(ReadBytes(errors_));
  EXPECT_EQ(errorLines.size(), failureLines.size());
  for (const std::string& line : errorLines) {
    const std::string prefix = "vellumdkd: " + input_ + "/";
    const std::size_t nameEnd = line.find(".dat: ");
    ASSERT_TRUE(line.rfind(prefix, 0) == 0 && nameEnd != std::string::npos) << line;
    const std::string reason = line.substr(nameEnd + 6);
    EXPECT_NE(reason.find("is not a text file"), std::string::npos) << line;
    const std::string note = input_ + "/failed/" + line.substr(prefix.size(), nameEnd + 4 - prefix.size()) + ".error.txt";
    EXPECT_NE(ReadBytes(note).find(reason), std::string::npos) << line;
  }
}

// Two lanes on a burst in which several inputs want the same PDF name under overwrite, and
// one is corrupt: one after the other each replaced the PDF before it, so the last one
// handed out is what the PDF holds; an earlier document is replaced, never lost half-way,
// nothing set aside is left over, and each log line is whole and names its file.
TEST_F(DaemonProgramTest, LanesReplacingOnePdfInTurnLeaveTheLastOneHandedOut) {
  // Name and sample; no sample: a corrupt PostScript file.
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {"a.ps", "ps/alphabet.ps"},       {"a.png", "png/basn2c16.png"},  {"a.jpg", "jpg/flower.jpg"},
      {"hopper.gif", "gif/hopper.gif"}, {"hopper.bmp", "bmp/hopper.bmp"}, {"golfer.eps", "eps/golfer.eps"},
      {"snowflak.ps", "ps/snowflak.ps"}, {"bad.ps", ""},
  };
  for (const auto& [name, sample] : inputs) {
    if (sample.empty()) WriteSettledFile(input_ + "/" + name, "%!PS\nnosuchoperator\nshowpage\n");
    if (!sample.empty()) CopySettledFile(Corpus(sample), input_ + "/" + name);
  }
  MakeTextPdf(output_ + "/a.pdf", {"an earlier document"});
  drain(*start({"--jobs", "2", "--overwrite"}), 2);
  ASSERT_FALSE(HasFatalFailure());

  EXPECT_EQ(DirectoryEntries(input_ + "/failed"), (std::vector<std::string>{"bad.ps", "bad.ps.error.txt"}));
  std::multiset<std::string> deleted;
  for (const std::string& line : linesOf(ReadBytes(log_))) {
    if (line.find(" --> ") != std::string::npos) continue;
    if (line.size() > 8 && line.ends_with(" deleted")) {
      deleted.insert(line.substr(0, line.size() - 8));
    } else {
      EXPECT_EQ(line, input_ + "/bad.ps: Unable to create PDF.");
    }
  }
  EXPECT_EQ(deleted, (std::multiset<std::string>{output_ + "/a.pdf", output_ + "/a.pdf", output_ + "/a.pdf",
                                                  output_ + "/hopper.pdf"}));
  // Each input handed out once.
  const std::vector<std::pair<std::string, std::string>> handed = arrows();
  ASSERT_EQ(handed.size(), inputs.size()) << describe();
  std::map<std::string, std::string> outputOf(handed.begin(), handed.end());
  std::set<std::string> made;
  for (const auto& [name, sample] : inputs) {
    ASSERT_EQ(outputOf.count(input_ + "/" + name), 1u) << name;
    if (!sample.empty()) made.insert(outputOf[input_ + "/" + name]);
  }
  std::string lastOfA;
  for (const auto& [in, out] : handed) {
    if (out == output_ + "/a.pdf") lastOfA = in.substr(input_.size() + 1);
  }
  const std::string a = output_ + "/a.pdf";
  EXPECT_EQ(PageCount(a), 1);
  EXPECT_EQ(PdfText(a).find(kAlphabet) != std::string::npos, lastOfA == "a.ps") << lastOfA;
  EXPECT_EQ(ReadBytes(a).find(ReadBytes(Corpus("jpg/flower.jpg"))) != std::string::npos, lastOfA == "a.jpg") << lastOfA;
  EXPECT_EQ(PdfText(a).find("an earlier document"), std::string::npos);
  std::set<std::string> pdfs;
  for (const std::string& name : DirectoryEntries(output_)) {
    if (name.ends_with(".pdf")) pdfs.insert(output_ + "/" + name);
  }
  EXPECT_EQ(pdfs, made) << describe();
  const std::vector<std::string> errorLines = linesOf(ReadBytes(errors_));
  ASSERT_EQ(errorLines.size(), 1u) << describe();
  EXPECT_EQ(errorLines[0].rfind("vellumdkd: " + input_ + "/bad.ps: ", 0), 0u) << errorLines[0];
}

// A lane killed in the middle of a file: that file is kept in failed/ with the reason, a
// fresh lane takes the next file; then SIGTERM lets the files in hand finish, the daemon
// exits 0, files not yet handed out stay, and no lane or worker of a lane is left.
TEST_F(DaemonProgramTest, LanesSurviveADeadLaneAndStopWithoutLeavingProcesses) {
  const int kFiles = 6;
  for (int n = 0; n < kFiles; ++n) {
    WriteSettledFile(input_ + "/slow" + std::to_string(n) + ".ps", slowJob(3000, "finished slowly " + std::to_string(n)));
  }
  auto running = start({"-j2"});
  ASSERT_TRUE(waitFor(*running, [&] { return arrows().size() == 2 && processes("vellumdk-lane").size() == 2; }))
      << describe();
  ::kill(*processes("vellumdk-lane").begin(), SIGKILL);

  ASSERT_TRUE(waitFor(*running, [&] { return DirectoryEntries(input_ + "/failed").size() == 2 && arrows().size() >= 3; }))
      << describe();
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(120)), 0) << describe();
  expectNoProcessLeft();

  // Each file is in exactly one place: still waiting, converted, or kept as failed.
  const auto handed = arrows();
  const std::map<std::string, std::string> outputOf(handed.begin(), handed.end());
  int converted = 0;
  int failed = 0;
  for (int n = 0; n < kFiles; ++n) {
    const std::string name = "slow" + std::to_string(n) + ".ps";
    SCOPED_TRACE(name);
    const bool waiting = FileExistsOnDisk(input_ + "/" + name);
    const bool kept = FileExistsOnDisk(input_ + "/failed/" + name);
    const auto arrow = outputOf.find(input_ + "/" + name);
    EXPECT_NE(waiting, arrow != outputOf.end());
    if (arrow == outputOf.end()) {
      EXPECT_FALSE(kept) << describe();
    } else if (kept) {
      ++failed;
      EXPECT_NE(ReadBytes(input_ + "/failed/" + name + ".error.txt").find("lane stopped unexpectedly"), std::string::npos);
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

// Killed mid-job, the program leaves no half-written PDF and its helpers go with it; its
// folder is free again, the restart takes the file again, and a stop signal while it
// converts lets it finish. In its own process and in lanes alike.
TEST_F(DaemonProgramTest, KilledMidJobLeavesNoHalfPdfAndAStopLetsTheRestartFinishOneWholePdf) {
  for (const bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite);
    for (const std::string& name : DirectoryEntries(output_)) std::remove((output_ + "/" + name).c_str());
    // With overwrite, an earlier PDF of the name is set aside while its replacement is made.
    if (overwrite) MakeTextPdf(output_ + "/slow.pdf", {"earlier slow"});
    WriteSettledFile(input_ + "/slow.ps", slowJob(3000, "finished slowly"));
    const std::vector<std::string> extra = {"--jobs", overwrite ? "2" : "1", overwrite ? "--overwrite" : "--no-overwrite"};
    const std::string arrow = input_ + "/slow.ps --> " + output_ + "/slow.pdf";
    const auto converting = [&] { return ReadBytes(log_).find(arrow) != std::string::npos; };
    std::remove(log_.c_str());
    pid_t killed = 0;
    {
      auto running = start(extra);
      ASSERT_TRUE(waitFor(*running, converting)) << describe();
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      killed = running->pid();
      EXPECT_GE(processes().size(), 2u);  // the program and its interpreter, at least
      running->signal(SIGKILL);
      EXPECT_EQ(running->waitForExit(std::chrono::seconds(30)), -1);
    }
    // Mid-job, nothing half-written ever had the PDF's name.
    EXPECT_TRUE(overwrite || !FileExistsOnDisk(output_ + "/slow.pdf"));
    expectNoProcessLeft();

    std::remove(log_.c_str());
    auto restarted = start(extra);
    ASSERT_TRUE(waitFor(*restarted, converting)) << describe();
    restarted->signal(overwrite ? SIGINT : SIGTERM);
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

// The office suite a warm worker keeps running goes with a killed daemon, too.
TEST_F(DaemonProgramTest, KilledWithAWarmOfficeSuiteLeavesNoProcess) {
  WriteSettledFile(input_ + "/letter.doc", ReadBytes(Corpus("doc/SampleDoc.doc")));
  auto running = start({"--jobs", "1"});
  ASSERT_TRUE(waitFor(*running, [&] { return FileExistsOnDisk(output_ + "/letter.pdf"); })) << describe();
  EXPECT_FALSE(processes("soffice").empty());
  running->signal(SIGKILL);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(30)), -1);
  expectNoProcessLeft();
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
      {{"-j0"}, 2, "", "-j takes a whole number from 1 to 256"},
      {{"--input", input_ + "/nowhere", "--output", output_}, 3, "", "input directory " + input_ + "/nowhere: No such"},
      {{"--input", input_, "--output", notADirectory}, 3, "", "output directory " + notADirectory + ": not a directory"},
      {{"--input", notADirectory, "--output", output_}, 3, "", "not a directory"},
  });
  // Nothing was converted or created by a refused start.
  EXPECT_TRUE(DirectoryEntries(output_).empty());
}

}  // namespace
}  // namespace vd::test
