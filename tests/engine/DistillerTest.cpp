// CreatePDFfromPS end to end: the engine, the Distiller stand-in and real Ghostscript,
// checked by the PDF's pages, text and encryption.
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

#include "engine/CreatePDF.h"
#include "outside/ghostscript/GhostscriptRunner.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

// The events in order as "Name a b", percents on their own; with a folder, what it holds
// each time a page is finished.
class RecordingEvents : public CreatePDFEvents {
 public:
  explicit RecordingEvents(std::string folder = {}, std::function<void()> atFirstPage = {})
      : folder_(std::move(folder)), atFirstPage_(std::move(atFirstPage)) {}
  std::vector<std::string> events;
  std::vector<std::int32_t> percents;
  std::vector<std::vector<std::string>> listings;
  std::string log;
  void JobStart(std::string& in, std::string& out) override { events.push_back("JobStart " + in + " " + out); }
  void JobDone(std::string&, std::string&) override { events.push_back("JobDone"); }
  void JobFail(std::string&, std::string&) override { events.push_back("JobFail"); }
  void LogMessage(std::string& message) override { log += message + "\n"; }
  void PercentDone(std::int32_t& percent) override { percents.push_back(percent); }
  void PageNumber(std::int32_t& page) override {
    events.push_back("PageNumber " + std::to_string(page));
    if (!folder_.empty()) listings.push_back(DirectoryEntries(folder_));
    if (page == 1 && atFirstPage_) atFirstPage_();
  }

 private:
  std::string folder_;
  std::function<void()> atFirstPage_;
};

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

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
  RecordingEvents watcher(out);
  engine->setEvents(&watcher);
  engine->CreatePDFfromPS(pdf, Corpus("ps/ps3d.ps"));

  ASSERT_EQ(PageCount(pdf), 6);
  EXPECT_EQ(watcher.events, (std::vector<std::string>{"JobStart " + Corpus("ps/ps3d.ps") + " " + pdf, "PageNumber 1",
                                                      "PageNumber 2", "PageNumber 3", "PageNumber 4", "PageNumber 5",
                                                      "PageNumber 6", "JobDone"}));
  // How much was read is reported while it is read, rising to the end.
  ASSERT_GE(watcher.percents.size(), 2u);
  EXPECT_LT(watcher.percents.front(), 100);
  EXPECT_EQ(watcher.percents.back(), 100);
  for (std::size_t i = 1; i < watcher.percents.size(); ++i) EXPECT_GT(watcher.percents[i], watcher.percents[i - 1]);
  // While the job runs, only the hidden temporary the interpreter writes is there.
  ASSERT_EQ(watcher.listings.size(), 6u);
  for (const auto& listing : watcher.listings) {
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing.front().front(), '.');
  }
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"ps3d.pdf"});
}

TEST_F(DistillerTest, FailedJobsAndJobsWithoutPagesLeaveNoPdfButTheLogAndRaiseNothingAndMissingInputRaises) {
  const std::vector<std::pair<std::string, std::string>> jobs{
      {"broken job", "%!PS\n72 72 moveto nosuchoperator showpage\n"},
      {"empty", ""},
      {"definitions only", "%!PS\n/greeting (hello) def\n"},
      {"drawing without showpage", "%!PS\n72 72 moveto 200 200 lineto stroke\n"}};
  engine->setEvents(&events);
  for (const auto& [name, content] : jobs) {
    SCOPED_TRACE(name);
    const std::string ps = scratch(name + ".ps");
    WriteBytes(ps, content);
    const std::string pdf = scratch(name + ".pdf");
    WriteBytes(pdf, "stale output of an earlier run");
    events.events.clear();
    EXPECT_NO_THROW(engine->CreatePDFfromPS(pdf, ps));
    EXPECT_FALSE(FileExistsOnDisk(pdf));
    EXPECT_EQ(events.events, (std::vector<std::string>{"JobStart " + ps + " " + pdf, "JobFail"}));
    const std::string log = ReadBytes(scratch(name + ".log"));
    if (name == "broken job") {
      ExpectContainsAll(log, {"undefined", "nosuchoperator", "\r\n"});
      EXPECT_NE(events.log.find("nosuchoperator"), std::string::npos);
    } else {
      ExpectContainsAll(log, {"The job produced no page.", "No PDF file"});
    }
  }
  // A missing input raises before anything happens.
  events.events.clear();
  const std::string pdf = scratch("kept.pdf");
  WriteBytes(pdf, "existing output");
  const std::string missing = scratch("no such file.ps");
  EXPECT_EQ(EngineErrorOf([&] { engine->CreatePDFfromPS(pdf, missing); }), "File " + missing + " does not exist.");
  EXPECT_EQ(ReadBytes(pdf), "existing output");
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DistillerTest, EndlessGreedyAndKilledJobsFailAloneAndTheNextJobWorks) {
  environment.set("VELLUMDOCK_JOB_TIMEOUT", "3");
  environment.set("VELLUMDOCK_JOB_MEMORY_MB", "400");
  engine->setEvents(&events);
  // Each greedy round keeps the previous strings alive: without a memory bound this would
  // eat the machine.
  const std::pair<std::string, std::string> bounded[] = {
      {"endless", "%!PS\n{} loop\n"},
      {"greedy", "%!PS\n/keep null def { /keep [ keep 16000000 string ] def } loop\n"}};
  for (const auto& [name, job] : bounded) {
    WriteBytes(scratch(name + ".ps"), job);
    engine->CreatePDFfromPS(scratch(name + ".pdf"), scratch(name + ".ps"));
    EXPECT_FALSE(FileExistsOnDisk(scratch(name + ".pdf"))) << name;
    EXPECT_EQ(events.events.back(), "JobFail") << name;
  }
  EXPECT_NE(ReadBytes(scratch("endless.log")).find("did not finish within 3 seconds"), std::string::npos);
  unsetenv("VELLUMDOCK_JOB_TIMEOUT");
  unsetenv("VELLUMDOCK_JOB_MEMORY_MB");

  // A worker killed mid-job leaves neither the PDF nor its temporary.
  const std::string ps = scratch("endless pages.ps");
  WriteBytes(ps, "%!PS\n{ 72 72 moveto 100 100 lineto stroke showpage } loop\n");
  const std::string out = scratchFolder("out");
  RecordingEvents killer(out, [] { kill(ghostscriptWorker().pid(), SIGKILL); });
  engine->setEvents(&killer);
  engine->CreatePDFfromPS(out + "/endless pages.pdf", ps);
  EXPECT_EQ(killer.events.back(), "JobFail");
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"endless pages.log"});
  EXPECT_NE(ReadBytes(out + "/endless pages.log").find("The PostScript interpreter stopped unexpectedly"),
            std::string::npos);
  engine->setEvents(&events);
  EXPECT_NE(PdfText(alphabet()).find(kAlphabet), std::string::npos);
}

TEST_F(DistillerTest, SecurityWithNothingConfiguredAllowsPrintAndCopyAndVersionFiveAppliesNone) {
  DistillingOptions options;
  options.blnApplySecurity = true;
  engine.emplace(EngineDetection{"7.0", "Adobe PDF"});
  engine->setEvents(&events);
  const std::string plain = alphabet(options, "default.pdf");
  ExpectContainsAll(ProgramOutput("qpdf", {"--show-encryption", plain}),
                    {"R = 6", "print high resolution: allowed", "extract for any purpose: allowed",
                     "modify other: not allowed", "modify document assembly: not allowed"});
  EXPECT_NE(PdfText(plain).find(kAlphabet), std::string::npos);
  EXPECT_TRUE(events.events.empty());  // the security-capable Distiller has no events

  engine.emplace(EngineDetection{"5.0", "Acrobat Distiller"});
  engine->setEvents(&events);
  const std::string five = alphabet(options, "five.pdf");
  EXPECT_NE(ProgramOutput("qpdf", {"--show-encryption", five}).find("File is not encrypted"), std::string::npos);
  ASSERT_FALSE(events.events.empty());
  EXPECT_EQ(events.events.back(), "JobDone");
}

}  // namespace
}  // namespace vd::test
