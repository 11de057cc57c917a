// The interpreter client and its worker: real Ghostscript on corpus files, bounded jobs,
// and the restart after a worker is killed.
#include "outside/ghostscript/GhostscriptRunner.h"

#include <cstdlib>

#include "EngineTestSupport.h"
#include "outside/ghostscript/GhostscriptWorker.h"

namespace vd::test {
namespace {

const std::vector<std::string> kPdfWrite{"-sDEVICE=pdfwrite", "-dEPSCrop"};

class GhostscriptRunnerTest : public IsolatedEngineTest {};

TEST_F(GhostscriptRunnerTest, ConvertsPostScriptAndEpsWithTheirPagesAndText) {
  const std::string out = scratch() + "/alphabet.pdf";
  auto result = RunGhostscriptJob(kPdfWrite, corpusFile("ps/alphabet.ps"), out);
  ASSERT_TRUE(result.ok) << result.messages;
  EXPECT_EQ(pdfPageCount(out), 1);
  EXPECT_NE(pdfText(out).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);

  const std::string multi = scratch() + "/ps3d.pdf";
  result = RunGhostscriptJob(kPdfWrite, corpusFile("ps/ps3d.ps"), multi);
  ASSERT_TRUE(result.ok) << result.messages;
  EXPECT_EQ(pdfPageCount(multi), 6);
  EXPECT_NE(pdfText(multi).find("The package ps3d"), std::string::npos);

  // An EPS page takes the size of its bounding box.
  const std::string eps = scratch() + "/ridt91.pdf";
  result = RunGhostscriptJob(kPdfWrite, corpusFile("eps/ridt91.eps"), eps);
  ASSERT_TRUE(result.ok) << result.messages;
  EXPECT_NE(runProgram({"pdfinfo", eps}).find("380 x 200 pts"), std::string::npos);
}

TEST_F(GhostscriptRunnerTest, WritesPostScriptFromPdf) {
  const std::string pdf = scratch() + "/in.pdf";
  ASSERT_TRUE(RunGhostscriptJob(kPdfWrite, corpusFile("ps/waterfal.ps"), pdf).ok);
  const std::string ps = scratch() + "/out.ps";
  const auto result = RunGhostscriptJob({"-sDEVICE=ps2write"}, pdf, ps);
  ASSERT_TRUE(result.ok) << result.messages;
  EXPECT_EQ(readWholeFile(ps).rfind("%!PS", 0), 0u);
}

TEST_F(GhostscriptRunnerTest, FailedJobLeavesNoOutputAndReportsTheInterpretersMessage) {
  const std::string bad = scratch() + "/bad.ps";
  writeWholeFile(bad, "%!PS\n/Helvetica findfont 12 scalefont setfont\nthisisnotanoperator\nshowpage\n");
  const std::string out = scratch() + "/bad.pdf";
  const auto result = RunGhostscriptJob(kPdfWrite, bad, out);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(fileExists(out));
  EXPECT_NE(result.messages.find("undefined"), std::string::npos) << result.messages;
  EXPECT_NE(result.messages.find("thisisnotanoperator"), std::string::npos) << result.messages;

  // Garbage that the interpreter still turns into a blank page counts as failed too.
  const auto garbage = RunGhostscriptJob(kPdfWrite, corpusFile("broken/qpdf-bad1.pdf"), out);
  EXPECT_FALSE(garbage.ok);
  EXPECT_FALSE(fileExists(out));
}

TEST_F(GhostscriptRunnerTest, EndlessAndGreedyJobsAreStoppedAndTheNextJobWorks) {
  setenv("VELLUMDOCK_JOB_TIMEOUT", "3", 1);
  setenv("VELLUMDOCK_JOB_MEMORY_MB", "400", 1);
  const std::string endless = scratch() + "/endless.ps";
  writeWholeFile(endless, "%!PS\n{} loop\n");
  const std::string out = scratch() + "/endless.pdf";
  auto result = RunGhostscriptJob(kPdfWrite, endless, out);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(fileExists(out));
  EXPECT_NE(result.messages.find("did not finish within 3 seconds"), std::string::npos) << result.messages;
  EXPECT_EQ(sharedGhostscriptWorker().pid(), 0);

  // Each round keeps the previous strings alive: without a memory bound this would eat
  // the machine.
  const std::string greedy = scratch() + "/greedy.ps";
  writeWholeFile(greedy, "%!PS\n/keep null def { /keep [ keep 16000000 string ] def } loop\n");
  result = RunGhostscriptJob(kPdfWrite, greedy, out);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(fileExists(out));

  unsetenv("VELLUMDOCK_JOB_TIMEOUT");
  unsetenv("VELLUMDOCK_JOB_MEMORY_MB");
  const std::string good = scratch() + "/good.pdf";
  result = RunGhostscriptJob(kPdfWrite, corpusFile("ps/colorcir.ps"), good);
  ASSERT_TRUE(result.ok) << result.messages;
  EXPECT_NE(pdfText(good).find("Yellow"), std::string::npos);
}

TEST_F(GhostscriptRunnerTest, WorkerStaysWarmBetweenJobsAndIsReplacedWhenItDies) {
  const std::string out = scratch() + "/a.pdf";
  ASSERT_TRUE(RunGhostscriptJob(kPdfWrite, corpusFile("ps/alphabet.ps"), out).ok);
  const pid_t first = sharedGhostscriptWorker().pid();
  ASSERT_NE(first, 0);
  ASSERT_TRUE(RunGhostscriptJob(kPdfWrite, corpusFile("ps/alphabet.ps"), out).ok);
  EXPECT_EQ(sharedGhostscriptWorker().pid(), first);

  kill(first, SIGKILL);
  const auto result = RunGhostscriptJob(kPdfWrite, corpusFile("ps/alphabet.ps"), out);
  ASSERT_TRUE(result.ok) << result.messages;
  EXPECT_NE(sharedGhostscriptWorker().pid(), first);
  EXPECT_EQ(pdfPageCount(out), 1);
}

// Kills the worker as soon as it reports the first page.
class KillAtFirstPage : public GhostscriptProgress {
 public:
  void onPage(std::int32_t) override {
    if (!killed) kill(sharedGhostscriptWorker().pid(), SIGKILL);
    killed = true;
  }
  bool killed = false;
};

TEST_F(GhostscriptRunnerTest, WorkerDyingDuringAJobFailsThatJobOnly) {
  const std::string dying = scratch() + "/dying.ps";
  writeWholeFile(dying, "%!PS\nshowpage\n{} loop\n");
  const std::string out = scratch() + "/dying.pdf";
  KillAtFirstPage killer;
  const auto result = RunGhostscriptJob(GhostscriptJob{kPdfWrite, dying, out, {}}, &killer);
  EXPECT_TRUE(killer.killed);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(fileExists(out));
  EXPECT_NE(result.messages.find("stopped unexpectedly"), std::string::npos) << result.messages;

  const auto next = RunGhostscriptJob(kPdfWrite, corpusFile("ps/alphabet.ps"), out);
  ASSERT_TRUE(next.ok) << next.messages;
  EXPECT_EQ(pdfPageCount(out), 1);
}

TEST_F(GhostscriptRunnerTest, AwkwardFileNamesTravelUnchanged) {
  for (const std::string name : {"-dNOSAFER leading dash.ps", "quote ' and \" here.ps", "tilde~and%d percent.ps",
                                 "Grüße ñ 日本.ps", "|pipe.ps"}) {
    const std::string in = scratch("awkward dir") + "/" + name;
    writeWholeFile(in, readWholeFile(corpusFile("ps/alphabet.ps")));
    const std::string out = in.substr(0, in.size() - 3) + ".pdf";
    const auto result = RunGhostscriptJob(kPdfWrite, in, out);
    ASSERT_TRUE(result.ok) << name << ": " << result.messages;
    EXPECT_EQ(pdfPageCount(out), 1) << name;
  }
}

}  // namespace
}  // namespace vd::test
