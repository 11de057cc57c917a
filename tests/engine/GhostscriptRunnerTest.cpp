// The interpreter client and its worker: the worker stays warm between jobs, and one
// that dies, between jobs or during one, fails only that job. What the jobs themselves
// make is checked through the Distiller.
#include "outside/ghostscript/GhostscriptRunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "outside/ghostscript/GhostscriptWorker.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

const std::vector<std::string> kPdfWrite{"-sDEVICE=pdfwrite", "-dEPSCrop"};

using GhostscriptRunnerTest = IsolatedTest;

TEST_F(GhostscriptRunnerTest, WorkerStaysWarmBetweenJobsAndIsReplacedWhenItDies) {
  const std::string out = scratch("a.pdf");
  ASSERT_TRUE(RunGhostscriptJob(kPdfWrite, Corpus("ps/alphabet.ps"), out).ok);
  const pid_t first = sharedGhostscriptWorker().pid();
  ASSERT_NE(first, 0);
  ASSERT_TRUE(RunGhostscriptJob(kPdfWrite, Corpus("ps/alphabet.ps"), out).ok);
  EXPECT_EQ(sharedGhostscriptWorker().pid(), first);

  // A descriptor opened without close-on-exec, as a careless library would open it,
  // must not reach the replacement worker.
  int leaky[2];
  ASSERT_EQ(pipe(leaky), 0);
  struct stat info {};
  ASSERT_EQ(fstat(leaky[0], &info), 0);
  const std::string leakyName = "pipe:[" + std::to_string(info.st_ino) + "]";

  kill(first, SIGKILL);
  const auto result = RunGhostscriptJob(kPdfWrite, Corpus("ps/alphabet.ps"), out);
  ASSERT_TRUE(result.ok) << result.messages;
  const pid_t second = sharedGhostscriptWorker().pid();
  EXPECT_NE(second, first);
  EXPECT_EQ(PageCount(out), 1);
  const std::string fds = "/proc/" + std::to_string(second) + "/fd";
  for (const std::string& fd : DirectoryEntries(fds)) {
    char target[512];
    const ssize_t length = readlink((fds + "/" + fd).c_str(), target, sizeof target);
    EXPECT_NE(std::string(target, static_cast<std::size_t>(std::max<ssize_t>(length, 0))), leakyName);
  }
  close(leaky[0]);
  close(leaky[1]);
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
  const std::string dying = scratch("dying.ps");
  WriteBytes(dying, "%!PS\nshowpage\n{} loop\n");
  const std::string out = scratch("dying.pdf");
  KillAtFirstPage killer;
  const auto result = RunGhostscriptJob(GhostscriptJob{kPdfWrite, dying, out, {}}, &killer);
  EXPECT_TRUE(killer.killed);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(FileExistsOnDisk(out));
  EXPECT_NE(result.messages.find("stopped unexpectedly"), std::string::npos) << result.messages;

  const auto next = RunGhostscriptJob(kPdfWrite, Corpus("ps/alphabet.ps"), out);
  ASSERT_TRUE(next.ok) << next.messages;
  EXPECT_EQ(PageCount(out), 1);
}

}  // namespace
}  // namespace vd::test
