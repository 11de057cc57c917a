// The interpreter's client: a worker that dies during a job fails that job only and leaves
// no output behind. The worker machinery itself is tested with a worker of the tests' own
// (tests/outside/worker); what the jobs make is checked through the Distiller.
#include "outside/ghostscript/GhostscriptRunner.h"

#include <csignal>

#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

const std::vector<std::string> kPdfWrite{"-sDEVICE=pdfwrite", "-dEPSCrop"};

using GhostscriptRunnerTest = IsolatedTest;

// Kills the worker as soon as it reports the first page.
class KillAtFirstPage : public GhostscriptProgress {
 public:
  void onPage(std::int32_t) override {
    if (!killed) kill(ghostscriptWorker().pid(), SIGKILL);
    killed = true;
  }
  bool killed = false;
};

TEST_F(GhostscriptRunnerTest, WorkerDyingDuringAJobFailsThatJobOnly) {
  const std::string dying = scratch("dying.ps");
  WriteBytes(dying, "%!PS\nshowpage\n{} loop\n");
  const std::string out = scratch("dying.pdf");
  KillAtFirstPage killer;
  const auto result = RunGhostscriptJob(GhostscriptJob{kPdfWrite, dying, out, {}}, &killer);
  EXPECT_TRUE(killer.killed);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(FileExistsOnDisk(out));
  EXPECT_NE(result.messages.find("The PostScript interpreter stopped unexpectedly"), std::string::npos)
      << result.messages;

  const auto next = RunGhostscriptJob(kPdfWrite, Corpus("ps/alphabet.ps"), out);
  ASSERT_TRUE(next.ok) << next.messages;
  EXPECT_EQ(PageCount(out), 1);
}

}  // namespace
}  // namespace vd::test
