// CreatePDFfromPS end to end: the engine, the Distiller stand-in and real Ghostscript,
// checked by the PDF's pages, text and encryption.
#include <algorithm>
#include <csignal>
#include <functional>
#include <optional>

#include "common/Locations.h"
#include "common/PrivateDirectories.h"
#include "engine/CreatePDF.h"
#include "outside/ghostscript/GhostscriptRunner.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ProcessChecks.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

// The events in order as "Name a b", percents apart; atPage runs as each page is finished.
class RecordingEvents : public CreatePDFEvents {
 public:
  std::vector<std::string> events;
  std::vector<std::int32_t> percents;
  std::string log;
  std::function<void(std::int32_t)> atPage = [](std::int32_t) {};
  void JobStart(std::string& in, std::string& out) override { events.push_back("JobStart " + in + " " + out); }
  void JobDone(std::string&, std::string&) override { events.push_back("JobDone"); }
  void JobFail(std::string&, std::string&) override { events.push_back("JobFail"); }
  void LogMessage(std::string& message) override { log += message + "\n"; }
  void PercentDone(std::int32_t& percent) override { percents.push_back(percent); }
  void PageNumber(std::int32_t& page) override {
    events.push_back("PageNumber " + std::to_string(page));
    atPage(page);
  }
};

class DistillerTest : public IsolatedTest {
 protected:
  // Converts the corpus alphabet; returns the PDF's path.
  std::string alphabet(DistillingOptions options = {}, const std::string& name = "a.pdf") {
    engine->CreatePDFfromPS(scratch(name), Corpus("ps/alphabet.ps"), options);
    return scratch(name);
  }
  // Made again when a test hands in another detection.
  std::optional<CreatePDF> engine{std::in_place};
  RecordingEvents events;
};

TEST_F(DistillerTest, PagesRaiseTheirEventsInOrderAndThePdfAppearsOnlyWhenTheJobSucceeded) {
  const std::string out = scratchFolder("out");
  const std::string pdf = out + "/ps3d.pdf";
  std::vector<std::vector<std::string>> listings;
  events.atPage = [&](std::int32_t) { listings.push_back(DirectoryEntries(out)); };
  engine->setEvents(&events);
  engine->CreatePDFfromPS(pdf, Corpus("ps/ps3d.ps"));

  ASSERT_EQ(PageCount(pdf), 6);
  EXPECT_EQ(events.events, (std::vector<std::string>{"JobStart " + Corpus("ps/ps3d.ps") + " " + pdf, "PageNumber 1",
                                                     "PageNumber 2", "PageNumber 3", "PageNumber 4", "PageNumber 5",
                                                     "PageNumber 6", "JobDone"}));
  // How much was read is reported while it is read, rising to the end.
  ASSERT_GE(events.percents.size(), 2u);
  EXPECT_EQ(events.percents.back(), 100);
  EXPECT_EQ(std::adjacent_find(events.percents.begin(), events.percents.end(), std::greater_equal<>()),
            events.percents.end());
  // While the job runs, only the hidden temporary the interpreter writes is there.
  ASSERT_EQ(listings.size(), 6u);
  for (const auto& listing : listings) EXPECT_TRUE(listing.size() == 1 && listing[0][0] == '.') << listing.size();
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"ps3d.pdf"});
}

TEST_F(DistillerTest, FailedJobsAndJobsWithoutPagesLeaveNoPdfButTheLogAndRaiseNothingAndMissingInputRaises) {
  const struct {
    std::string name, content;
    std::vector<std::string> logged;  // in the log file; the first also as a log message
  } jobs[] = {{"broken job", "%!PS\n72 72 moveto nosuchoperator showpage\n", {"nosuchoperator", "undefined", "\r\n"}},
              {"empty", "", {"The job produced no page.", "No PDF file"}}};
  engine->setEvents(&events);
  for (const auto& [name, content, logged] : jobs) {
    SCOPED_TRACE(name);
    const std::string ps = scratch(name + ".ps");
    WriteBytes(ps, content);
    const std::string pdf = scratch(name + ".pdf");
    WriteBytes(pdf, "stale output of an earlier run");
    events.events.clear();
    EXPECT_NO_THROW(engine->CreatePDFfromPS(pdf, ps));
    EXPECT_FALSE(FileExistsOnDisk(pdf));
    EXPECT_EQ(events.events, (std::vector<std::string>{"JobStart " + ps + " " + pdf, "JobFail"}));
    ExpectContainsAll(ReadBytes(scratch(name + ".log")), logged);
    ExpectContainsAll(events.log, {logged.front()});
  }
  // A missing input raises before anything happens.
  events.events.clear();
  WriteBytes(scratch("kept.pdf"), "existing output");
  EXPECT_EQ(EngineErrorOf([&] { engine->CreatePDFfromPS(scratch("kept.pdf"), scratch("none.ps")); }),
            "File " + scratch("none.ps") + " does not exist.");
  // One that is there but cannot be read is not called missing.
  ASSERT_TRUE(ensureDirectory(scratch("folder.ps")));
  EXPECT_EQ(EngineErrorOf([&] { engine->CreatePDFfromPS(scratch("kept.pdf"), scratch("folder.ps")); }),
            "File " + scratch("folder.ps") + " cannot be read: it is not a file this account may read.");
  EXPECT_EQ(ReadBytes(scratch("kept.pdf")), "existing output");
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DistillerTest, GreedyAndKilledJobsFailAloneAndTheNextJobWorks) {
  environment.set("VELLUMDOCK_JOB_TIMEOUT", "3");
  environment.set("VELLUMDOCK_JOB_MEMORY_MB", "400");
  engine->setEvents(&events);
  // Each round keeps the previous strings alive: unbounded, this would eat the machine.
  WriteBytes(scratch("greedy.ps"), "%!PS\n/keep null def { /keep [ keep 16000000 string ] def } loop\n");
  engine->CreatePDFfromPS(scratch("greedy.pdf"), scratch("greedy.ps"));
  EXPECT_FALSE(FileExistsOnDisk(scratch("greedy.pdf")));
  EXPECT_EQ(events.events.back(), "JobFail");
  // Stopped by the memory bound, well within the time bound.
  EXPECT_NE(ReadBytes(scratch("greedy.log")).find("VMerror"), std::string::npos) << ReadBytes(scratch("greedy.log"));

  // A worker killed mid-job leaves neither the PDF nor its temporary.
  WriteBytes(scratch("endless pages.ps"), "%!PS\n{ 72 72 moveto 100 100 lineto stroke showpage } loop\n");
  const std::string out = scratchFolder("out");
  events.atPage = [](std::int32_t page) { if (page == 1) kill(ghostscriptWorker().pid(), SIGKILL); };
  engine->CreatePDFfromPS(out + "/endless pages.pdf", scratch("endless pages.ps"));
  EXPECT_EQ(events.events.back(), "JobFail");
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"endless pages.log"});  // the worker tests word it
  events.atPage = [](std::int32_t) {};
  EXPECT_NE(PdfText(alphabet()).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
}

// The copies of the interpreter's worker that run: the one forked for the next job waits.
std::vector<pid_t> copiesOf(pid_t worker) {
  std::vector<pid_t> copies;
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto [state, parent] = process::stateAndParentOf(pid);
    if (parent == std::to_string(worker) && !process::ended(state)) copies.push_back(std::stoi(pid));
  }
  return copies;
}

TEST_F(DistillerTest, ACopyForkedForTheNextJobEndsWithItsWorkerAndLeavesNothing) {
  const TemporaryDirectory base("vellumdock-base");
  ASSERT_TRUE(base.ok());
  environment.set("TMPDIR", base.path());
  ghostscriptWorker().stop();
  alphabet({}, "first.pdf");
  std::vector<pid_t> waiting;
  const auto oneCopyWaits = [&] {
    waiting = copiesOf(ghostscriptWorker().pid());
    return waiting.size() == 1;
  };
  ASSERT_TRUE(EventuallyHolds(oneCopyWaits, std::chrono::seconds(20)));

  // Killed with its worker; the next job gets a new worker, and its copy converts.
  kill(ghostscriptWorker().pid(), SIGKILL);
  EXPECT_TRUE(ProcessEnds(waiting.front(), 10));
  EXPECT_NE(PdfText(alphabet({}, "second.pdf")).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);

  // Let go when the worker stops: neither the copy nor a folder of either worker is left.
  ASSERT_TRUE(EventuallyHolds(oneCopyWaits, std::chrono::seconds(20)));
  ghostscriptWorker().stop();
  EXPECT_TRUE(ProcessEnds(waiting.front(), 10));
  EXPECT_EQ(DirectoryEntries(base.path()), std::vector<std::string>{});
}

TEST_F(DistillerTest, SecurityWithNothingConfiguredAllowsPrintAndCopyAndVersionFiveAppliesNone) {
  DistillingOptions options;
  options.blnApplySecurity = true;
  engine.emplace(EngineDetection{"7.0", "Adobe PDF"});
  engine->setEvents(&events);
  ExpectContainsAll(ProgramOutput("qpdf", {"--show-encryption", alphabet(options, "default.pdf")}),
                    {"R = 6", "print high resolution: allowed", "extract for any purpose: allowed",
                     "modify other: not allowed", "modify document assembly: not allowed"});
  EXPECT_TRUE(events.events.empty());  // the security-capable Distiller has no events

  engine.emplace(EngineDetection{"5.0", "Acrobat Distiller"});
  engine->setEvents(&events);
  EXPECT_NE(ProgramOutput("qpdf", {"--show-encryption", alphabet(options, "five.pdf")}).find("File is not encrypted"),
            std::string::npos);
  ASSERT_FALSE(events.events.empty());
  EXPECT_EQ(events.events.back(), "JobDone");
}

}  // namespace
}  // namespace vd::test
