// The built vellumdkd in a scratch world: bursts of dropped files under two lanes end each
// as one PDF of its own or in failed/ with its reason, one instance scans a folder, a dead
// lane or a stop signal loses nothing and leaves no process, a program killed mid-job leaves
// no half-written PDF, bad command lines end with the documented codes, and folders named
// relative to where it starts serve as well.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include <QImage>

#include "../ProgramFixture.h"
#include "outside/acrobat/PdfWholeness.h"
#include "platform/SettingsStore.h"
#include "support/TextPageRendering.h"

namespace vd::test {
namespace {

class DaemonProgramTest : public ProgramFixture {
 protected:
  DaemonProgramTest() : ProgramFixture("vellumdkd") {}

  std::unique_ptr<RunningProgram> start(std::vector<std::string> extra = {},
                                        const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    // The stored directories are not the ones the command line names: the overrides win.
    settingsStore().write("InputDir", environment_.path("home/stored in"));
    settingsStore().write("OutputDir", environment_.path("home/stored out"));
    std::vector<std::string> arguments = {"--input", input_, "--output", output_, "--interval", "1"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return std::make_unique<RunningProgram>(program_, arguments, log_, environment, errors_);
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

  // The first line of a run names what it scans, not a file.
  static bool isStartupLine(const std::string& line) { return line.rfind("vellumdkd ", 0) == 0; }

  std::string describe() const { return "stdout:\n" + ReadBytes(log_) + "stderr:\n" + ReadBytes(errors_); }

  // The log's arrow lines: input path to output path, in the order written.
  std::vector<std::pair<std::string, std::string>> arrows() const {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& line : linesOf(ReadBytes(log_))) {
      if (const auto at = line.find(" --> "); at != std::string::npos)
        found.emplace_back(line.substr(0, at), line.substr(at + 5));
    }
    return found;
  }

  const std::string log_ = environment_.path("vellumdkd.out");
  const std::string errors_ = environment_.path("vellumdkd.err");
};

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

// A thousand small files, pairs of them under one base name, dropped at once for two lanes
// while a second instance on another spelling of the folder is turned away. Each input ends
// once, as a whole PDF of its own content under a name of its own or in failed/ with the
// reason it also says on standard error; nothing else appears and no process is left.
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
  // The service links no widgets: none is mapped into the running process.
  const std::string maps = ReadBytes("/proc/" + std::to_string(running->pid()) + "/maps");
  EXPECT_NE(maps.find("libQt6Core"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);

  const std::string otherSpelling = environment_.path("home/link to in");
  ASSERT_EQ(symlink(input_.c_str(), otherSpelling.c_str()), 0);
  std::string refusal;
  EXPECT_EQ(RunProgram(program_, {"--input", otherSpelling + "/", "--output", output_}, nullptr, &refusal, {}, 60), 4);
  EXPECT_EQ(refusal, "vellumdkd: " + otherSpelling + "/ is already being scanned by another instance (process " +
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
  EXPECT_EQ(DirectoryEntries(output_), std::vector<std::string>(pdfs.begin(), pdfs.end()));
  EXPECT_EQ(DirectoryEntries(input_ + "/failed"), std::vector<std::string>(failed.begin(), failed.end()));
  std::multiset<std::string> otherLines;
  for (const std::string& line : linesOf(ReadBytes(log_))) {
    if (line.find(" --> ") == std::string::npos && !isStartupLine(line)) otherLines.insert(line);
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
    const std::string note =
        input_ + "/failed/" + line.substr(prefix.size(), nameEnd + 4 - prefix.size()) + ".error.txt";
    EXPECT_NE(ReadBytes(note).find(reason), std::string::npos) << line;
  }
}

// Two lanes on inputs that want one PDF name under overwrite, one of them corrupt: each
// replaced the PDF before it in turn, so the PDF holds the last one handed out, the earlier
// document is replaced, never lost half-way, and each log line names its file.
TEST_F(DaemonProgramTest, LanesReplacingOnePdfInTurnLeaveTheLastOneHandedOut) {
  for (const std::string sample : {"ps/alphabet.ps", "png/basn2c16.png", "jpg/flower.jpg"}) {
    CopySettledFile(Corpus(sample), input_ + "/a" + sample.substr(sample.find('.')));
  }
  WriteSettledFile(input_ + "/bad.ps", "%!PS\nnosuchoperator\nshowpage\n");
  MakeTextPdf(output_ + "/a.pdf", {"an earlier document"});
  drain(*start({"--jobs", "2", "--overwrite"}), 2);

  EXPECT_EQ(DirectoryEntries(input_ + "/failed"), (std::vector<std::string>{"bad.ps", "bad.ps.error.txt"}));
  // Besides the arrows, the log tells each replacement and the one failure.
  std::multiset<std::string> otherLines;
  for (const std::string& line : linesOf(ReadBytes(log_))) {
    if (line.find(" --> ") == std::string::npos && !isStartupLine(line)) otherLines.insert(line);
  }
  const std::string aDeleted = output_ + "/a.pdf deleted";
  EXPECT_EQ(otherLines,
            (std::multiset<std::string>{aDeleted, aDeleted, aDeleted, input_ + "/bad.ps: Unable to create PDF."}));
  // Each input handed out once; the PDF holds the last one handed out under its name.
  const std::vector<std::pair<std::string, std::string>> handed = arrows();
  ASSERT_EQ(handed.size(), 4u) << describe();
  std::set<std::string> handedInputs;
  std::string lastOfA;
  for (const auto& [in, out] : handed) {
    handedInputs.insert(in.substr(input_.size() + 1));
    if (out == output_ + "/a.pdf") lastOfA = in.substr(input_.size() + 1);
  }
  EXPECT_EQ(handedInputs, (std::set<std::string>{"a.jpg", "a.png", "a.ps", "bad.ps"}));
  const std::string a = output_ + "/a.pdf";
  EXPECT_EQ(PageCount(a), 1);
  EXPECT_EQ(PdfText(a).find(kAlphabet) != std::string::npos, lastOfA == "a.ps") << lastOfA;
  EXPECT_EQ(ReadBytes(a).find(ReadBytes(Corpus("jpg/flower.jpg"))) != std::string::npos, lastOfA == "a.jpg") << lastOfA;
  EXPECT_EQ(PdfText(a).find("an earlier document"), std::string::npos);
  // Nothing set aside or half-written is left beside it.
  EXPECT_EQ(DirectoryEntries(output_), (std::vector<std::string>{"a.pdf", "bad.log"})) << describe();
}

// A script run in its own process and in lanes. Under overwrite, an entry naming the very
// PDF the script replaces reads that PDF's old pages: it was set aside before the run, the
// entry was passed over as missing, and the old pages were lost with the copy kept aside.
// A failed entry's Distiller log is kept in failed/ with the entry's reason: left in the
// input folder, the next pass printed it into a PDF as if it were a file of the user's.
TEST_F(DaemonProgramTest, AScriptReadsThePdfItReplacesAndAFailedEntrysLogNeverBecomesInput) {
  const std::string sources = environment_.path("home/sources");
  ASSERT_TRUE(ensureDirectory(sources));
  const std::string more = MakeTextPdf(sources + "/more.pdf", {"one more page"});
  WriteSettledFile(sources + "/broken.ps", "%!PS\nnosuchoperator\nshowpage\n");
  for (const std::string jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    const std::string combined = output_ + "/bundle" + jobs + ".pdf";
    MakeTextPdf(combined, {"the old bundle"});
    WriteSettledFile(input_ + "/bundle" + jobs + ".scr",
                     combined + "\r\n" + sources + "/broken.ps\r\n" + more + "\r\n");
    auto running = start({"--jobs", jobs, "--overwrite"});
    ASSERT_TRUE(waitFor(*running, [&] { return DirectoryEntries(input_) == std::vector<std::string>{"failed"}; }))
        << describe();
    running->signal(SIGTERM);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
    const std::vector<std::string> pages = PageTexts(combined);
    ASSERT_EQ(pages.size(), 2u) << describe();
    EXPECT_NE(pages[0].find("the old bundle"), std::string::npos);
    EXPECT_NE(pages[1].find("one more page"), std::string::npos);
    // The log points to the entry's Distiller log where it is kept, not where it was.
    const std::string keptLog = input_ + (jobs == "1" ? "/failed/broken_tmp.log" : "/failed/broken_tmp_1.log");
    EXPECT_NE(ReadBytes(log_).find(sources + "/broken.ps: The Distiller made no PDF of " + sources +
                                   "/broken.ps: Error: /undefined in nosuchoperator (see " + keptLog + ")."),
              std::string::npos)
        << describe();
  }
  EXPECT_EQ(DirectoryEntries(output_), (std::vector<std::string>{"bundle1.pdf", "bundle2.pdf"}));
  const std::string failed = input_ + "/failed/";
  ASSERT_EQ(DirectoryEntries(failed), (std::vector<std::string>{"broken_tmp.log", "broken_tmp.log.error.txt",
                                                                "broken_tmp_1.log", "broken_tmp_1.log.error.txt"}));
  EXPECT_NE(ReadBytes(failed + "broken_tmp.log").find("nosuchoperator"), std::string::npos);
  EXPECT_NE(ReadBytes(failed + "broken_tmp.log.error.txt").find(sources + "/broken.ps: "), std::string::npos);
  EXPECT_NE(ReadBytes(failed + "broken_tmp_1.log.error.txt").find("Error: /undefined in nosuchoperator"),
            std::string::npos);
  for (const std::string note : {"broken_tmp.log.error.txt", "broken_tmp_1.log.error.txt"}) {
    EXPECT_EQ(ReadBytes(failed + note).find(input_ + "/broken_tmp"), std::string::npos) << ReadBytes(failed + note);
  }
}

// A lane killed in the middle of a file: that file is kept in failed/ with the reason, a
// fresh lane takes the next file; then SIGTERM lets the files in hand finish, the daemon
// exits 0, files not yet handed out stay, and no lane or worker of a lane is left.
TEST_F(DaemonProgramTest, LanesSurviveADeadLaneAndStopWithoutLeavingProcesses) {
  const int kFiles = 6;
  for (int n = 0; n < kFiles; ++n) {
    WriteSettledFile(input_ + "/slow" + std::to_string(n) + ".ps",
                     slowJob(3000, "finished slowly " + std::to_string(n)));
  }
  auto running = start({"-j2"});
  ASSERT_TRUE(waitFor(*running, [&] { return arrows().size() == 2 && processes("vellumdk-lane").size() == 2; }))
      << describe();
  ::kill(*processes("vellumdk-lane").begin(), SIGKILL);

  ASSERT_TRUE(waitFor(*running, [&] {
    return DirectoryEntries(input_ + "/failed").size() == 2 && arrows().size() >= 3;
  })) << describe();
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(120)), 0) << describe();
  expectNoProcessLeft();

  // Each file is in exactly one place: still waiting, kept as failed, or converted.
  const auto handed = arrows();
  const std::map<std::string, std::string> outputOf(handed.begin(), handed.end());
  int converted = 0;
  int failed = 0;
  for (int n = 0; n < kFiles; ++n) {
    const std::string name = "slow" + std::to_string(n) + ".ps";
    const auto arrow = outputOf.find(input_ + "/" + name);
    const bool handedOut = arrow != outputOf.end();
    EXPECT_NE(FileExistsOnDisk(input_ + "/" + name), handedOut) << name;
    if (FileExistsOnDisk(input_ + "/failed/" + name)) {
      ++failed;
      EXPECT_TRUE(handedOut && !FileExistsOnDisk(arrow->second)) << name;
      EXPECT_NE(ReadBytes(input_ + "/failed/" + name + ".error.txt").find("lane stopped unexpectedly"),
                std::string::npos);
    } else if (handedOut) {
      ++converted;
      EXPECT_NE(PdfText(arrow->second).find("finished slowly " + std::to_string(n)), std::string::npos) << name;
    }
  }
  EXPECT_EQ(failed, 1) << describe();
  // The lane's other file and the replacement lane's first one, at least.
  EXPECT_GE(converted, 2) << describe();
}

// A lane that hangs (stopped, or stuck on a file system) is ended once its job has run past
// the job bound and a margin; its file goes to failed/ with that reason while the other lane
// goes on converting, and a fresh lane takes the next file. It used to stall every lane.
TEST_F(DaemonProgramTest, AHungLaneIsEndedAtItsBoundWhileTheOtherLaneGoesOn) {
  for (const std::string name : {"warm0.ps", "warm1.ps"})
    CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/" + name);
  auto running = start({"-j2"}, {{"VELLUMDOCK_JOB_TIMEOUT", "5"}, {"VELLUMDOCK_SETTLE_TIMEOUT", "5"}});
  const auto pdfs = [&] {
    const std::vector<std::string> made = DirectoryEntries(output_);
    return std::count_if(made.begin(), made.end(), [](const std::string& name) { return name.ends_with(".pdf"); });
  };
  ASSERT_TRUE(waitFor(*running, [&] { return pdfs() == 2 && processes("vellumdk-lane").size() == 2; })) << describe();
  const pid_t hung = *processes("vellumdk-lane").begin();
  ::kill(hung, SIGSTOP);
  // Hidden until all three are there, so that one pass lists them all.
  const std::vector<std::string> names = {"c.ps", "d.ps", "e.ps"};
  for (const std::string& name : names) CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/." + name);
  for (const std::string& name : names) {
    ASSERT_EQ(std::rename((input_ + "/." + name).c_str(), (input_ + "/" + name).c_str()), 0);
  }

  // The note is written beside the file under a hidden name first: wait for it under its own.
  const auto noteKept = [&] {
    for (const std::string& entry : DirectoryEntries(input_ + "/failed")) {
      if (entry.size() > 10 && entry.compare(entry.size() - 10, 10, ".error.txt") == 0) return true;
    }
    return false;
  };
  ASSERT_TRUE(WaitUntil(*running, noteKept, std::chrono::seconds(90))) << describe();
  // By the time the hung lane's file was given up, the other lane had converted the rest.
  EXPECT_EQ(pdfs(), 2 + 2) << describe();
  int failed = 0;
  for (const std::string& name : names) {
    if (!FileExistsOnDisk(input_ + "/failed/" + name)) continue;
    ++failed;
    const std::string note = ReadBytes(input_ + "/failed/" + name + ".error.txt");
    EXPECT_NE(note.find("did not finish within"), std::string::npos) << note << describe();
  }
  EXPECT_EQ(failed, 1);
  EXPECT_TRUE(ProcessEnds(hung, 5));
  CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/after.ps");
  ASSERT_TRUE(waitFor(*running, [&] { return FileExistsOnDisk(output_ + "/after.pdf"); })) << describe();
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(60)), 0) << describe();
  expectNoProcessLeft();
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
    const std::vector<std::string> extra = {"--jobs", overwrite ? "2" : "1",
                                            overwrite ? "--overwrite" : "--no-overwrite"};
    const std::string arrow = input_ + "/slow.ps --> " + output_ + "/slow.pdf";
    const auto converting = [&] { return ReadBytes(log_).find(arrow) != std::string::npos; };
    std::remove(log_.c_str());
    auto running = start(extra);
    ASSERT_TRUE(waitFor(*running, converting)) << describe();
    // Killed once the interpreter runs the job, which takes it three seconds.
    ASSERT_TRUE(waitFor(*running, [&] { return !processes("vellumdk-gsworker").empty(); })) << describe();
    const pid_t killed = running->pid();
    running->signal(SIGKILL);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(30)), -1);
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
    // Nor does the killed run's worker folder, with its job's input, outlive the restart.
    const std::string killedFolder = "vellumdock-worker-" + std::to_string(killed) + "-";
    const std::string temporaryBase = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    for (const std::string& entry : DirectoryEntries(temporaryBase))
      EXPECT_NE(entry.rfind(killedFolder, 0), 0u) << entry;
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

// A scan dropped into the folder of a daemon given recognition comes out with its words over
// their places on its page, in lanes, and a blank 20,000 x 20,000 picture recognised within
// the worker's bounds ends as a PDF of it. What recognition leaves out and the pictures kept
// byte for byte are SearchableScansTest's.
TEST_F(DaemonProgramTest, ScansDroppedIntoTheFolderComeOutSearchable) {
  environment_.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
  environment_.set("VELLUMDOCK_JOB_MEMORY_MB", "1024");
  TextPageLayout layout;
  layout.height = 200;
  const std::string text = "Scanned pages dropped into the folder come out searchable, each word in its place";
  const std::string scan =
      RenderTextPages(SetTextPages(WordsOf(text), 1, layout), "jpeggray", environment_.path("home/scan.jpg"));
  QImage blank(20000, 20000, QImage::Format_Mono);
  blank.fill(1);
  const std::string huge = environment_.path("home/huge.png");
  ASSERT_TRUE(blank.save(QString::fromStdString(huge)));
  blank = QImage();

  std::unique_ptr<RunningProgram> running = start({"--jobs", "2", "--ocr", "eng"});
  CopySettledFile(scan, input_ + "/scan.jpg");
  CopySettledFile(huge, input_ + "/huge.png");
  ASSERT_TRUE(waitFor(*running, [&] { return DirectoryEntries(input_).empty(); })) << describe();
  running->signal(SIGTERM);
  EXPECT_EQ(running->waitForExit(std::chrono::seconds(120)), 0) << describe();

  const std::string pdf = output_ + "/scan.pdf";
  EXPECT_GT(ShareFound(TokensOf(text), TokensOf(PdfText(pdf))), 0.9) << describe();
  EXPECT_EQ(WordsOffTheirLines(WordBoxes(pdf), layout), std::vector<std::string>{});
  EXPECT_EQ(PageCount(output_ + "/huge.pdf"), 1);
  EXPECT_EQ(PdfText(output_ + "/huge.pdf").find_first_not_of(" \n\f"), std::string::npos);
  // The recognisers end with their lanes (the interpreter that rendered the scan is this test's).
  expectNoProcessLeft("vellumdk-lane");
  expectNoProcessLeft("vellumdk-ocrworker");
}

// Where the kernel cannot confine the interpreters the log says so once, and converting goes
// on; with confinement required, what needs them (PostScript, an office document) stays in
// failed/ saying why, on two lanes as on one, and the rest converts.
TEST_F(DaemonProgramTest, WithoutConfinementTheLogSaysSoOnceAndRequiredConfinementFailsWhatNeedsIt) {
  for (const bool required : {false, true}) {
    SCOPED_TRACE(required ? "required" : "not required");
    for (const std::string& made : DirectoryEntries(output_)) std::remove((output_ + "/" + made).c_str());
    CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/alphabet.ps");
    CopySettledFile(Corpus("png/basn2c16.png"), input_ + "/picture.png");
    // The office suite's worker refuses alike (converted, it would only start a suite).
    if (required) CopySettledFile(Corpus("doc/Lists.doc"), input_ + "/lists.doc");
    auto running =
        start({"--jobs", required ? "2" : "1", "--overwrite"},
              {{"VELLUMDOCK_SIMULATE_NO_CONFINEMENT", "1"}, {"VELLUMDOCK_REQUIRE_CONFINEMENT", required ? "1" : "0"}});
    ASSERT_TRUE(waitFor(*running, [&] {
      return FileExistsOnDisk(output_ + "/picture.pdf") &&
             (required
                  ? FileExistsOnDisk(input_ + "/failed/alphabet.ps") && FileExistsOnDisk(input_ + "/failed/lists.doc")
                  : FileExistsOnDisk(output_ + "/alphabet.pdf"));
    })) << describe();
    running->signal(SIGTERM);
    EXPECT_EQ(running->waitForExit(std::chrono::seconds(120)), 0) << describe();
    const std::string said = ReadBytes(log_);
    const std::string notice = required
                                   ? "with VELLUMDOCK_REQUIRE_CONFINEMENT=1 no document that needs them is converted"
                                   : "run unconfined: the kernel cannot confine them";
    std::size_t times = 0;
    for (std::size_t at = said.find(notice); at != std::string::npos; at = said.find(notice, at + 1)) ++times;
    EXPECT_EQ(times, 1u) << said;
    if (required) {
      EXPECT_FALSE(FileExistsOnDisk(output_ + "/alphabet.pdf"));
      // The Distiller's log of the job says why.
      const std::string why = ReadBytes(output_ + "/alphabet.log");
      EXPECT_NE(why.find("VELLUMDOCK_REQUIRE_CONFINEMENT=1"), std::string::npos) << why;
      EXPECT_FALSE(FileExistsOnDisk(output_ + "/lists.pdf"));
      const std::string note = ReadBytes(input_ + "/failed/lists.doc.error.txt");
      EXPECT_NE(note.find("VELLUMDOCK_REQUIRE_CONFINEMENT=1"), std::string::npos) << note;
    } else {
      ExpectContainsAll(PdfText(output_ + "/alphabet.pdf"), {"abcdefghijklmnopqrstuvwxyz"});
    }
  }
}

TEST_F(DaemonProgramTest, CommandLinesEndWithTheDocumentedCodes) {
  const std::string notADirectory = environment_.path("home/plain file");
  WriteBytes(notADirectory, "x");
  expectOutcomes({
      {{"--bogus"}, 2, "", "unknown argument '--bogus'"},
      {{"--interval", "0"}, 2, "", "--interval takes whole seconds"},
      {{"--input"}, 2, "", "--input needs a directory"},
      {{"--overwrite=1"}, 2, "", "--overwrite takes no value"},
      {{"--jobs=many"}, 2, "", "--jobs takes a whole number from 1 to 256"},
      {{"-j0"}, 2, "", "-j takes a whole number from 1 to 256"},
      {{"--ocr"}, 2, "", "--ocr needs a list of languages"},
      {{"--ocr", "../eng"}, 2, "", "--ocr takes language names joined by '+'"},
      {{"--input", input_ + "/nowhere", "--output", output_}, 3, "", "input directory " + input_ + "/nowhere: No such"},
      {{"--input", input_, "--output", notADirectory},
       3,
       "",
       "output directory " + notADirectory + ": not a directory"},
  });
  // A runtime folder that cannot hold the claim's lock is no other instance, and does not
  // mend itself: the service is not to restart for ever.
  environment_.set("XDG_RUNTIME_DIR", notADirectory);
  expectOutcomes({{{"--input", input_, "--output", output_}, 5, "", "No lock can be taken on " + input_}});
  environment_.set("XDG_RUNTIME_DIR", environment_.path("runtime"));
  // Nothing was converted or created by a refused start.
  EXPECT_TRUE(DirectoryEntries(output_).empty());

  // Folders named relative to where it starts: a text file is printed by helpers that run
  // elsewhere, and still reaches the output folder.
  WriteSettledFile(input_ + "/note.txt", "A note for the daemon\n");
  RunningProgram running(program_, {"--input", "in box", "--output", "out box", "--interval", "1"}, log_, {}, errors_,
                         environment_.path("home"));
  ASSERT_TRUE(waitFor(running, [&] { return !FileExistsOnDisk(input_ + "/note.txt"); })) << describe();
  running.signal(SIGTERM);
  EXPECT_EQ(running.waitForExit(std::chrono::seconds(120)), 0) << describe();
  EXPECT_NE(PdfText(output_ + "/note.pdf").find("A note for the daemon"), std::string::npos) << describe();
  EXPECT_NE(ReadBytes(log_).find(input_ + "/note.txt --> " + output_ + "/note.pdf"), std::string::npos) << describe();
}

}  // namespace
}  // namespace vd::test
