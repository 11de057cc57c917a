// CreatePDFfromPS end to end: the engine, the Distiller stand-in and real Ghostscript,
// checked by the PDF's pages, text and encryption.
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

#include "engine/CreatePDF.h"
#include "outside/ghostscript/GhostscriptRunner.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

// The events in order as "Name a b"; pages and percents also on their own.
class RecordingEvents : public CreatePDFEvents {
 public:
  std::vector<std::string> events;
  std::vector<std::int32_t> pages;
  std::vector<std::int32_t> percents;
  std::string log;
  void JobStart(std::string& in, std::string& out) override { events.push_back("JobStart " + in + " " + out); }
  void JobDone(std::string&, std::string&) override { events.push_back("JobDone"); }
  void JobFail(std::string&, std::string&) override { events.push_back("JobFail"); }
  void LogMessage(std::string& message) override { log += message + "\n"; }
  void PercentDone(std::int32_t& percent) override { percents.push_back(percent); }
  void PageNumber(std::int32_t& page) override {
    pages.push_back(page);
    events.push_back("PageNumber " + std::to_string(page));
  }
};

void writeValue(std::int32_t root, const std::string& key, const std::string& name, const std::string& value) {
  clsRegistry registry;
  ASSERT_NE(registry.OpenRegistry(root, ""), 0);
  ASSERT_TRUE(registry.CreateDirectory(key));
  ASSERT_NE(registry.OpenRegistry(root, key), 0);
  ASSERT_TRUE(registry.CreateValue(name, RegItem{value}, REG_SZ));
}

void registerAcrobatVersion(const std::string& version) {
  writeValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion", "", version);
}

void expectAll(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

class DistillerTest : public IsolatedTest {
 protected:
  // Converts the corpus alphabet with options; returns the PDF's path.
  std::string alphabet(DistillingOptions& options, const std::string& name = "a.pdf") {
    engine->CreatePDFfromPS(scratch(name), Corpus("ps/alphabet.ps"), options);
    return scratch(name);
  }
  std::string alphabet() {
    DistillingOptions defaults;
    return alphabet(defaults);
  }
  // Made again after a test registers a version: detection happens at construction.
  std::optional<CreatePDF> engine{std::in_place};
  RecordingEvents events;
};

TEST_F(DistillerTest, ThreePageJobRaisesItsEventsInOrder) {
  const std::string ps = scratch("three.ps");
  WriteBytes(ps, "%!PS-Adobe-3.0\n/Helvetica findfont 30 scalefont setfont\n"
                 "[(first) (second) (third)] { 72 700 moveto (Page ) show show showpage } forall\n");
  const std::string pdf = scratch("three.pdf");
  engine->setEvents(&events);
  engine->CreatePDFfromPS(pdf, ps);

  ASSERT_EQ(PageCount(pdf), 3);
  EXPECT_NE(PdfText(pdf).find("Page third"), std::string::npos);
  EXPECT_EQ(events.events, (std::vector<std::string>{"JobStart " + ps + " " + pdf, "PageNumber 1", "PageNumber 2",
                                                     "PageNumber 3", "JobDone"}));
  ASSERT_FALSE(events.percents.empty());
  EXPECT_EQ(events.percents.back(), 100);
  for (std::size_t i = 1; i < events.percents.size(); ++i) EXPECT_GT(events.percents[i], events.percents[i - 1]);
}

TEST_F(DistillerTest, CorpusFilesKeepTheirPagesTextAndBoundingBoxes) {
  engine->setEvents(&events);
  const std::string ps3d = scratch("ps3d.pdf");
  engine->CreatePDFfromPS(ps3d, Corpus("ps/ps3d.ps"));
  EXPECT_EQ(PageCount(ps3d), 6);
  EXPECT_EQ(events.pages, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
  // A larger input is reported while it is read, not only at the end.
  ASSERT_GE(events.percents.size(), 2u);
  EXPECT_LT(events.percents.front(), 100);
  EXPECT_NE(PdfText(ps3d).find("The package ps3d"), std::string::npos);

  // An EPS page takes the size of its bounding box.
  engine->CreatePDFfromPS(scratch("ridt91.pdf"), Corpus("eps/ridt91.eps"));
  EXPECT_NE(ProgramOutput("pdfinfo", {scratch("ridt91.pdf")}).find("380 x 200 pts"), std::string::npos);
}

TEST_F(DistillerTest, FailedJobLeavesNoPdfButTheLogAndRaisesNothing) {
  const std::string ps = scratch("broken job.ps");
  WriteBytes(ps, "%!PS\n72 72 moveto nosuchoperator showpage\n");
  const std::string pdf = scratch("broken job.pdf");
  WriteBytes(pdf, "stale output of an earlier run");
  engine->setEvents(&events);
  EXPECT_NO_THROW(engine->CreatePDFfromPS(pdf, ps));

  EXPECT_FALSE(FileExistsOnDisk(pdf));
  expectAll(ReadBytes(scratch("broken job.log")), {"undefined", "nosuchoperator", "\r\n"});
  EXPECT_EQ(events.events, (std::vector<std::string>{"JobStart " + ps + " " + pdf, "JobFail"}));
  EXPECT_NE(events.log.find("nosuchoperator"), std::string::npos);
}

TEST_F(DistillerTest, EndlessAndGreedyJobsAreStoppedAtTheirBoundsAndTheNextJobWorks) {
  environment.set("VELLUMDOCK_JOB_TIMEOUT", "3");
  environment.set("VELLUMDOCK_JOB_MEMORY_MB", "400");
  WriteBytes(scratch("endless.ps"), "%!PS\n{} loop\n");
  engine->setEvents(&events);
  engine->CreatePDFfromPS(scratch("endless.pdf"), scratch("endless.ps"));
  EXPECT_FALSE(FileExistsOnDisk(scratch("endless.pdf")));
  EXPECT_EQ(events.events.back(), "JobFail");
  EXPECT_NE(ReadBytes(scratch("endless.log")).find("did not finish within 3 seconds"), std::string::npos);

  // Each round keeps the previous strings alive: without a memory bound this would eat
  // the machine.
  WriteBytes(scratch("greedy.ps"), "%!PS\n/keep null def { /keep [ keep 16000000 string ] def } loop\n");
  engine->CreatePDFfromPS(scratch("greedy.pdf"), scratch("greedy.ps"));
  EXPECT_FALSE(FileExistsOnDisk(scratch("greedy.pdf")));
  EXPECT_EQ(events.events.back(), "JobFail");

  unsetenv("VELLUMDOCK_JOB_TIMEOUT");
  unsetenv("VELLUMDOCK_JOB_MEMORY_MB");
  EXPECT_NE(PdfText(alphabet()).find(kAlphabet), std::string::npos);
}

TEST_F(DistillerTest, MissingInputRaisesBeforeAnythingHappens) {
  const std::string pdf = scratch("kept.pdf");
  WriteBytes(pdf, "existing output");
  const std::string missing = scratch("no such file.ps");
  engine->setEvents(&events);
  EXPECT_EQ(EngineErrorOf([&] { engine->CreatePDFfromPS(pdf, missing); }), "File " + missing + " does not exist.");
  EXPECT_EQ(ReadBytes(pdf), "existing output");
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DistillerTest, SecurityIsAes256WithTheConfiguredPermissionsOrPrintAndCopyOnly) {
  registerAcrobatVersion("7.0");
  engine.emplace();
  engine->setEvents(&events);
  DistillingOptions options;
  options.blnApplySecurity = true;
  // Nothing configured: print and copy only, no password needed to open.
  const std::string plain = alphabet(options, "default.pdf");
  expectAll(ProgramOutput("qpdf", {"--show-encryption", plain}),
            {"R = 6", "print high resolution: allowed", "extract for any purpose: allowed", "modify other: not allowed",
             "modify document assembly: not allowed"});
  EXPECT_NE(PdfText(plain).find(kAlphabet), std::string::npos);

  const std::string key = "Software\\Vellumdock\\Distiller\\Security";
  writeValue(HKEY_CURRENT_USER, key, "PermissionsPassword", "owner secret");
  writeValue(HKEY_CURRENT_USER, key, "OpenPassword", "open sesame");
  writeValue(HKEY_CURRENT_USER, key, "Permissions", "print-low, assemble");
  const std::string pdf = alphabet(options, "secure.pdf");
  expectAll(ProgramOutput("qpdf", {"--password=open sesame", "--show-encryption", pdf}),
            {"R = 6", "AESv3", "print low resolution: allowed", "print high resolution: not allowed",
             "modify document assembly: allowed", "extract for any purpose: not allowed", "modify other: not allowed"});
  // Without the open password the document does not open.
  EXPECT_EQ(RunProgram("qpdf", {"--show-npages", pdf}), 2);
  // The permissions password lifts the restrictions.
  expectAll(ProgramOutput("qpdf", {"--password=owner secret", "--show-encryption", pdf}),
            {"Supplied password is owner password"});
  // The security-capable Distiller has no events.
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DistillerTest, VersionFiveAppliesNoSecurityAndKeepsTheEvents) {
  registerAcrobatVersion("5.0");
  engine.emplace();
  engine->setEvents(&events);
  DistillingOptions options;
  options.blnApplySecurity = true;
  const std::string pdf = alphabet(options);
  EXPECT_NE(ProgramOutput("qpdf", {"--show-encryption", pdf}).find("File is not encrypted"), std::string::npos);
  ASSERT_FALSE(events.events.empty());
  EXPECT_EQ(events.events.back(), "JobDone");
}

TEST_F(DistillerTest, JobsThatProduceNoPageFailWithTheirReasonInTheLog) {
  struct Case {
    const char* name;
    const char* content;
  };
  const std::vector<Case> cases{{"empty", ""},
                                {"definitions only", "%!PS\n/greeting (hello) def\n"},
                                {"drawing without showpage", "%!PS\n72 72 moveto 200 200 lineto stroke\n"}};
  engine->setEvents(&events);
  for (const Case& job : cases) {
    SCOPED_TRACE(job.name);
    const std::string ps = scratch(std::string(job.name) + ".ps");
    WriteBytes(ps, job.content);
    const std::string pdf = scratch(std::string(job.name) + ".pdf");
    events.events.clear();
    engine->CreatePDFfromPS(pdf, ps);
    EXPECT_FALSE(FileExistsOnDisk(pdf));
    EXPECT_EQ(events.events, (std::vector<std::string>{"JobStart " + ps + " " + pdf, "JobFail"}));
    expectAll(ReadBytes(scratch(std::string(job.name) + ".log")), {"The job produced no page.", "No PDF file"});
  }
}

// Looks at the output folder each time a page is finished.
class FolderAtEachPage : public RecordingEvents {
 public:
  FolderAtEachPage(std::string folder, std::function<void()> atFirstPage = {})
      : folder_(std::move(folder)), atFirstPage_(std::move(atFirstPage)) {}
  void PageNumber(std::int32_t& page) override {
    RecordingEvents::PageNumber(page);
    listings.push_back(DirectoryEntries(folder_));
    if (page == 1 && atFirstPage_) atFirstPage_();
  }
  std::vector<std::vector<std::string>> listings;

 private:
  std::string folder_;
  std::function<void()> atFirstPage_;
};

TEST_F(DistillerTest, ThePdfAppearsUnderItsNameOnlyWhenTheJobSucceeded) {
  const std::string ps = scratch("pages.ps");
  WriteBytes(ps, "%!PS\n/Helvetica findfont 30 scalefont setfont\n"
                 "1 1 4 { 72 700 moveto (Page ) show 3 string cvs show showpage } for\n");
  const std::string out = scratchFolder("out");
  const std::string pdf = out + "/pages.pdf";
  FolderAtEachPage watcher(out);
  engine->setEvents(&watcher);
  engine->CreatePDFfromPS(pdf, ps);

  ASSERT_EQ(PageCount(pdf), 4);
  EXPECT_NE(PdfText(pdf).find("Page 4"), std::string::npos);
  ASSERT_EQ(watcher.listings.size(), 4u);
  for (const auto& listing : watcher.listings) {
    // Only the hidden temporary the interpreter writes.
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing.front().front(), '.');
  }
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"pages.pdf"});
}

TEST_F(DistillerTest, AWorkerKilledMidJobLeavesNeitherThePdfNorItsTemporary) {
  const std::string ps = scratch("endless pages.ps");
  WriteBytes(ps, "%!PS\n{ 72 72 moveto 100 100 lineto stroke showpage } loop\n");
  const std::string out = scratchFolder("out");
  const std::string pdf = out + "/endless pages.pdf";
  FolderAtEachPage killer(out, [] { kill(ghostscriptWorker().pid(), SIGKILL); });
  engine->setEvents(&killer);
  engine->CreatePDFfromPS(pdf, ps);

  EXPECT_EQ(killer.events.back(), "JobFail");
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"endless pages.log"});
  EXPECT_NE(ReadBytes(out + "/endless pages.log").find("stopped unexpectedly"), std::string::npos);
}

TEST_F(DistillerTest, FiftyJobsLeaveNoDescriptorsOrChildrenBehind) {
  const std::string good = Corpus("ps/alphabet.ps");
  const std::string bad = scratch("bad.ps");
  WriteBytes(bad, "%!PS\nnosuchoperator\n");
  const std::string joined = MakeTextPdf(scratch("source.pdf"), {"One", "Two"});
  engine->CreatePDFfromPS(scratch("warm.pdf"), good);  // the warm worker is part of the steady state
  const std::size_t descriptorsBefore = OpenDescriptors();

  for (int job = 0; job < 50; ++job) {
    const std::string out = scratch("job " + std::to_string(job) + ".pdf");
    switch (job % 4) {
      case 0: engine->CreatePDFfromPS(out, job % 8 == 0 ? good : bad); break;
      case 1: engine->CreatePDFfromMultiPDF(out, PathArray{0, {joined, good + ".missing"}}); break;
      case 2: engine->CreatePDFfromImageFile(out, Corpus("png/basn3p08.png")); break;
      case 3: engine->CreatePSfromPDF(joined, out + ".ps"); break;
    }
  }
  EXPECT_EQ(PageCount(scratch("job 48.pdf")), 1);
  EXPECT_FALSE(FileExistsOnDisk(scratch("job 44.pdf")));
  EXPECT_EQ(PageCount(scratch("job 49.pdf")), 2);
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
  EXPECT_EQ(ZombieChildren(), 0);
}

}  // namespace
}  // namespace vd::test
