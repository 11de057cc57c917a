// The worker machinery with a worker kind of the tests' own (vellumdk-testworker, nothing but a
// job handler): warm workers, time and memory bounds, deaths, restarts, and nothing left behind.
// The interpreter's and the office suite's workers run on it; their jobs are checked end to end.
#include "outside/worker/WorkerClient.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>

#include "common/Seam.h"
#include "outside/worker/JobFolder.h"
#include "outside/worker/WorkerSpawn.h"
#include "platform/EventPump.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/Listener.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

using Ending = JobOutcome::Ending;

// Everything a job said, reports as "TYPE payload".
class Heard : public JobListener {
 public:
  void onLine(const std::string& line) override { lines.push_back(line); }
  void onReport(char type, const std::string& payload) override { reports.push_back(std::string(1, type) + " " + payload); }
  std::string all() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
  std::vector<std::string> lines;
  std::vector<std::string> reports;
};

// The real event processing, doing something once while a job runs when asked to.
class InterruptingEventPump : public QtEventPump {
 public:
  std::function<void()> duringJob;
  void processEvents() override {
    if (duringJob) std::exchange(duringJob, nullptr)();
    QtEventPump::processEvents();
  }
};

bool reaped(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

class WorkerClientTest : public IsolatedTest {
 protected:
  JobOutcome run(const std::vector<std::string>& job) {
    heard = Heard{};
    return client->run(job, limits, &heard);
  }
  // The pid the worker reports of itself, after checking it is the client's.
  pid_t workerPid() {
    EXPECT_TRUE(run({"pid"}).succeeded());
    EXPECT_EQ(heard.lines, std::vector<std::string>{std::to_string(client->pid())});
    return client->pid();
  }

  WorkerLimits limits{10, 512, 0};
  std::optional<WorkerClient> client{std::in_place, WorkerKind{"vellumdk-testworker", "The test worker", WorkerLimits{}}};
  Heard heard;
};

TEST_F(WorkerClientTest, JobsEndingBadlyFailAloneAndAfterABoundOrADeathTheNextGetsAFreshWorker) {
  ASSERT_TRUE(run({"echo", "one", "two words", ""}).succeeded());
  EXPECT_EQ(heard.lines, (std::vector<std::string>{"one", "two words", ""}));
  ASSERT_TRUE(run({"report", "G", "7"}).succeeded());
  EXPECT_EQ(heard.reports, std::vector<std::string>{"G 7"});

  const std::string marker = scratch("crash marker");
  const struct {
    std::vector<std::string> job;
    WorkerLimits limits;
    Ending ending;
    int code;
    std::string says;  // in the failure or in what the job said
    bool keepsWorker;
  } cases[] = {
      // Jobs that end badly on their own keep the worker.
      {{"exit", "7"}, {10, 512, 0}, Ending::Finished, 7, "", true},
      {{"throw", "no such page"}, {10, 512, 0}, Ending::Finished, -1, "\nno such page\n", true},
      {{"report", "E", "0"}, {10, 512, 0}, Ending::Finished, -1, "frame type 'E' belongs to the worker", true},
      {{"sleep", "30"}, {1.5, 512, 0}, Ending::TimedOut, -1, "did not finish within 1.5 seconds", false},
      {{"crash", marker}, {10, 512, 0}, Ending::WorkerDied, -1, "worker stopped unexpectedly (signal 11)", false},
      {{"allocate"}, {30, 200, 0}, Ending::Finished, -1, "ran out of memory (the bound is 200 MiB)", false},
      {{"garbage"}, {10, 512, 0}, Ending::WorkerDied, -1, "The test worker sent a damaged message", false},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.job[0]);
    limits = each.limits;
    const pid_t before = workerPid();
    const JobOutcome outcome = run(each.job);
    EXPECT_EQ(outcome.ending, each.ending);
    EXPECT_EQ(outcome.code, each.code);
    EXPECT_NE((outcome.failure + "\n" + heard.all()).find(each.says), std::string::npos)
        << outcome.failure << "\n" << heard.all();

    ASSERT_TRUE(run({"echo", "next"}).succeeded());
    EXPECT_EQ(heard.lines, std::vector<std::string>{"next"});
    EXPECT_EQ(client->pid() == before, each.keepsWorker);
    EXPECT_EQ(reaped(before), !each.keepsWorker);
  }
  // A job the worker accepted is never run a second time.
  EXPECT_EQ(ReadBytes(marker), "ran\n");
  EXPECT_EQ(ZombieChildren(), 0);
}

TEST_F(WorkerClientTest, TimeBoundKeepsTheWindowsServedAndEndsWhatTheWorkerStarted) {
  InterruptingEventPump pump;
  const ScopedSeam<EventPump> seam(pump);
  int ticks = 0;
  QTimer window;
  QObject::connect(&window, &QTimer::timeout, [&] { ++ticks; });
  window.start(100);

  limits.jobSeconds = 1.5;
  const JobOutcome outcome = run({"child"});
  EXPECT_EQ(outcome.ending, Ending::TimedOut);
  ASSERT_EQ(heard.lines.size(), 1u);
  EXPECT_TRUE(ProcessEnds(static_cast<pid_t>(std::stol(heard.lines[0]))));
  EXPECT_GE(ticks, 10);

  // A job asked for while one runs (from a window's event) is refused, not nested.
  std::optional<JobOutcome> nested;
  pump.duringJob = [&] { nested = client->run({"echo", "nested"}, limits, nullptr); };
  EXPECT_TRUE(run({"sleep", "0.3"}).succeeded());
  ASSERT_TRUE(nested);
  EXPECT_EQ(nested->ending, Ending::NotRun);
  EXPECT_EQ(nested->failure, "The test worker is busy with another job.");
}

TEST_F(WorkerClientTest, WorkerIsReplacedAfterItsJobsWhenItsMemoryBoundChangesAndWhenItDiedIdle) {
  limits.jobsPerWorker = 3;
  std::vector<pid_t> pids{workerPid()};
  for (int job = 1; job < 7; ++job) {
    pids.push_back(workerPid());
    EXPECT_EQ(pids[job] == pids[job - 1], job % 3 != 0) << job;
  }
  EXPECT_TRUE(reaped(pids[0]) && reaped(pids[3]));

  limits.memoryMegabytes = 300;
  const pid_t fresh = workerPid();
  EXPECT_NE(fresh, pids[6]);
  EXPECT_TRUE(reaped(pids[6]));

  // A worker that died while idle is replaced without failing the job.
  kill(fresh, SIGKILL);
  ASSERT_TRUE(ProcessEnds(fresh));
  ASSERT_TRUE(run({"echo", "still here"}).succeeded());
  EXPECT_EQ(heard.lines, std::vector<std::string>{"still here"});
  EXPECT_NE(client->pid(), fresh);
}

TEST_F(WorkerClientTest, WorkerGetsOnlyItsSocketAndLeavesNothingBehind) {
  // A descriptor opened without close-on-exec, as a careless library would open it.
  int leaky[2];
  ASSERT_EQ(pipe(leaky), 0);
  ASSERT_TRUE(run({"descriptors"}).succeeded());
  ASSERT_EQ(heard.lines.size(), 4u) << heard.all();
  EXPECT_EQ(heard.all().rfind("0 /dev/null\n1 /dev/null\n2 /dev/null\n3 socket:[", 0), 0u) << heard.all();
  close(leaky[0]);
  close(leaky[1]);

  const std::size_t descriptorsWithWorker = OpenDescriptors();
  const std::string marker = scratch("marker");
  for (int round = 0; round < 4; ++round) {
    EXPECT_TRUE(run({"echo", "x"}).succeeded());
    EXPECT_EQ(run({"crash", marker}).ending, Ending::WorkerDied);
    EXPECT_EQ(run({"exit", "3"}).code, 3);
  }
  EXPECT_EQ(OpenDescriptors(), descriptorsWithWorker);
  EXPECT_EQ(ZombieChildren(), 0);

  // The worker ends with its client.
  const pid_t last = client->pid();
  client.reset();
  EXPECT_TRUE(reaped(last));
  EXPECT_EQ(OpenDescriptors(), descriptorsWithWorker - 1);
}

TEST_F(WorkerClientTest, ConfinedWorkerReachesOnlyItsJobsFilesAndNoOtherProcess) {
  const std::string secret = scratch("secret.txt");
  WriteBytes(secret, "SECRET\n");
  Listener network;
  Listener local(scratch("listening"));
  environment.set("VELLUMDOCK_TEST_CONFINED_WORKER", "1");
  // Whether each attempt reaches its target confined and, where the kernel cannot confine,
  // unconfined (nothing when that depends on the account), so that every refusal is seen to
  // be the confinement's. A file under /tmp is not even there for a confined worker.
  const auto attempts = [&](JobFolder& files) {
    return std::vector<std::tuple<std::vector<std::string>, bool, std::optional<bool>>>{
        {{"read", secret}, false, true},
        {{"read", "/etc/shadow"}, false, std::nullopt},
        {{"read", "/etc/passwd"}, true, true},
        {{"read", files.placeInput(secret, "given.txt")}, true, true},
        {{"write", scratch("made.txt"), "made"}, false, true},
        {{"write", files.outputPath("made.txt"), "made"}, true, true},
        {{"connect", network.address()}, false, true},
        {{"connect", local.address()}, false, true},
        {{"signal", std::to_string(getpid())}, false, true},
    };
  };
  for (const bool confined : {true, false}) {
    SCOPED_TRACE(confined ? "confined" : "unconfined");
    if (!confined) environment.set("VELLUMDOCK_SIMULATE_NO_CONFINEMENT", "1");
    EXPECT_EQ(worker::confinementProblem(client->programPath()).empty(), confined);
    client.emplace(WorkerKind{"vellumdk-testworker", "The test worker", WorkerLimits{}});
    JobFolder files(*client);
    for (const auto& [job, whenConfined, whenNot] : attempts(files)) {
      SCOPED_TRACE(job.at(1));
      ASSERT_TRUE(run(job).succeeded());
      ASSERT_EQ(heard.lines.size(), 1u);
      const std::string& said = heard.lines[0];
      const bool reached = said == "done" || said.rfind("read: ", 0) == 0;
      if (confined || whenNot) {
        EXPECT_EQ(reached, confined ? whenConfined : *whenNot) << said;
      }
      if (reached && job[0] == "read" && job[1].rfind("/etc/", 0) != 0) {
        EXPECT_EQ(said, "read: SECRET");
      }
    }
    EXPECT_EQ(network.connections() > 0, !confined);
    EXPECT_EQ(local.connections() > 0, !confined);
    EXPECT_EQ(FileExistsOnDisk(scratch("made.txt")), !confined);
    // The output comes out; a link planted in place of one is not followed.
    ASSERT_TRUE(files.takeOutput("made.txt", scratch("taken.txt")));
    EXPECT_EQ(ReadBytes(scratch("taken.txt")), "made");
    ASSERT_TRUE(run({"link", secret, files.outputPath("planted.txt")}).succeeded());
    EXPECT_FALSE(files.takeOutput("planted.txt", scratch("stolen.txt")));
    EXPECT_FALSE(FileExistsOnDisk(scratch("stolen.txt")));
  }
}

TEST_F(WorkerClientTest, EnvironmentSetsTheBoundsOverTheKindsOwn) {
  const WorkerLimits own{600, 2048, 1000};
  // What cannot be read, or is no bound, leaves the kind's own; a count stays within range.
  for (const auto& [timeout, memory, jobs, expected] :
       {std::tuple("0.5", " 100 ", "5", std::tuple(0.5, 100LL, 5)),
        std::tuple("ten", "0", "1e12", std::tuple(600.0, 2048LL, 2147483647))}) {
    environment.set("VELLUMDOCK_JOB_TIMEOUT", timeout);
    environment.set("VELLUMDOCK_JOB_MEMORY_MB", memory);
    environment.set("VELLUMDOCK_WORKER_JOBS", jobs);
    const WorkerLimits read = own.overriddenByEnvironment();
    EXPECT_EQ(std::tuple(read.jobSeconds, read.memoryMegabytes, read.jobsPerWorker), expected) << timeout;
  }
}

}  // namespace
}  // namespace vd::test
