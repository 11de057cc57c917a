// CreatePDFfromPS end to end: the engine, the Distiller stand-in and real Ghostscript,
// checked by the PDF's pages, text and encryption.
#include <cstdlib>

#include "EngineTestSupport.h"
#include "engine/CreatePDF.h"
#include "registry/clsRegistry.h"

namespace vd::test {
namespace {

struct RecordedEvent {
  std::string name;
  std::string a;
  std::string b;
};

class RecordingEvents : public CreatePDFEvents {
 public:
  std::vector<RecordedEvent> events;
  std::vector<std::int32_t> pages;
  std::vector<std::int32_t> percents;
  std::string log;
  void JobStart(std::string& in, std::string& out) override { events.push_back({"JobStart", in, out}); }
  void JobDone(std::string& in, std::string& out) override { events.push_back({"JobDone", in, out}); }
  void JobFail(std::string& in, std::string& out) override { events.push_back({"JobFail", in, out}); }
  void LogMessage(std::string& message) override { log += message + "\n"; }
  void PercentDone(std::int32_t& percent) override {
    percents.push_back(percent);
    events.push_back({"PercentDone", std::to_string(percent), {}});
  }
  void PageNumber(std::int32_t& page) override {
    pages.push_back(page);
    events.push_back({"PageNumber", std::to_string(page), {}});
  }
};

const char* kThreePages =
    "%!PS-Adobe-3.0\n/Helvetica findfont 30 scalefont setfont\n"
    "[(first) (second) (third)] { 72 700 moveto (Page ) show show showpage } forall\n";

void writeKeyValue(std::int32_t root, const std::string& key, const std::string& name, const RegItem& value,
                   std::int32_t type = REG_SZ) {
  clsRegistry registry;
  ASSERT_NE(registry.OpenRegistry(root, ""), 0);
  ASSERT_TRUE(registry.CreateDirectory(key));
  ASSERT_NE(registry.OpenRegistry(root, key), 0);
  ASSERT_TRUE(registry.CreateValue(name, value, type));
  registry.CloseRegistry();
}

void registerAcrobatVersion(const std::string& version) {
  writeKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion", "", RegItem{version});
}

class DistillerTest : public IsolatedEngineTest {};

TEST_F(DistillerTest, ThreePageJobRaisesItsEventsInOrder) {
  const std::string ps = scratch() + "/three.ps";
  writeWholeFile(ps, kThreePages);
  const std::string pdf = scratch() + "/three.pdf";
  CreatePDF engine;
  RecordingEvents events;
  engine.setEvents(&events);
  engine.CreatePDFfromPS(pdf, ps);

  ASSERT_EQ(pdfPageCount(pdf), 3);
  EXPECT_NE(pdfText(pdf).find("Page third"), std::string::npos);
  ASSERT_GE(events.events.size(), 5u);
  EXPECT_EQ(events.events.front().name, "JobStart");
  EXPECT_EQ(events.events.front().a, ps);
  EXPECT_EQ(events.events.front().b, pdf);
  EXPECT_EQ(events.events.back().name, "JobDone");
  EXPECT_EQ(events.pages, (std::vector<std::int32_t>{1, 2, 3}));
  ASSERT_FALSE(events.percents.empty());
  EXPECT_EQ(events.percents.back(), 100);
  for (std::size_t i = 1; i < events.percents.size(); ++i) EXPECT_GT(events.percents[i], events.percents[i - 1]);
  // The last page comes before the job is reported done.
  std::size_t lastPage = 0;
  for (std::size_t i = 0; i < events.events.size(); ++i) {
    if (events.events[i].name == "PageNumber") lastPage = i;
  }
  EXPECT_LT(lastPage, events.events.size() - 1);
}

TEST_F(DistillerTest, CorpusFilesKeepTheirPagesTextAndBoundingBoxes) {
  CreatePDF engine;
  RecordingEvents progress;
  engine.setEvents(&progress);
  const std::string ps3d = scratch() + "/ps3d.pdf";
  engine.CreatePDFfromPS(ps3d, corpusFile("ps/ps3d.ps"));
  engine.setEvents(nullptr);
  EXPECT_EQ(pdfPageCount(ps3d), 6);
  EXPECT_EQ(progress.pages, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
  // A larger input is reported while it is read, not only at the end.
  ASSERT_GE(progress.percents.size(), 2u);
  EXPECT_LT(progress.percents.front(), 100);
  EXPECT_EQ(progress.percents.back(), 100);
  EXPECT_NE(pdfText(ps3d).find("The package ps3d"), std::string::npos);

  const std::string golfer = scratch() + "/golfer.pdf";
  engine.CreatePDFfromPS(golfer, corpusFile("eps/golfer.eps"));
  EXPECT_NE(runProgram({"pdfinfo", golfer}).find("570 x 695 pts"), std::string::npos);

  // A PDF print stream, damaged but repairable, reports its page too.
  RecordingEvents events;
  engine.setEvents(&events);
  const std::string stream = scratch() + "/stream.pdf";
  engine.CreatePDFfromPS(stream, corpusFile("broken/qpdf-bad2.pdf"));
  EXPECT_NE(pdfText(stream).find("Potato"), std::string::npos);
  EXPECT_EQ(events.pages, (std::vector<std::int32_t>{1}));
  engine.setEvents(nullptr);

  // Fuzzed input on which the interpreter still writes a blank page: no PDF, a log.
  const std::string fuzzed = scratch() + "/fuzzed.pdf";
  engine.CreatePDFfromPS(fuzzed, corpusFile("broken/timeout-d675703545fee17acab56e5fec644c19979175de.eps"));
  EXPECT_FALSE(fileExists(fuzzed));
  EXPECT_TRUE(fileExists(scratch() + "/fuzzed.log"));

  // A binary EPS with a preview header.
  const std::string photoshop = scratch() + "/photoshop.pdf";
  engine.CreatePDFfromPS(photoshop, corpusFile("eps/photoshop_tiff_preview_1.eps"));
  EXPECT_EQ(pdfPageCount(photoshop), 1);
}

TEST_F(DistillerTest, FailedJobLeavesNoPdfButTheLogAndRaisesNothing) {
  const std::string ps = scratch() + "/broken job.ps";
  writeWholeFile(ps, "%!PS\n72 72 moveto nosuchoperator showpage\n");
  const std::string pdf = scratch() + "/broken job.pdf";
  writeWholeFile(pdf, "stale output of an earlier run");
  CreatePDF engine;
  RecordingEvents events;
  engine.setEvents(&events);
  EXPECT_NO_THROW(engine.CreatePDFfromPS(pdf, ps));

  EXPECT_FALSE(fileExists(pdf));
  const std::string log = readWholeFile(scratch() + "/broken job.log");
  EXPECT_NE(log.find("undefined"), std::string::npos) << log;
  EXPECT_NE(log.find("nosuchoperator"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n"), std::string::npos);
  ASSERT_FALSE(events.events.empty());
  EXPECT_EQ(events.events.back().name, "JobFail");
  EXPECT_NE(events.log.find("nosuchoperator"), std::string::npos);
}

TEST_F(DistillerTest, EndlessJobIsStoppedAtItsBound) {
  setenv("VELLUMDOCK_JOB_TIMEOUT", "2", 1);
  const std::string ps = scratch() + "/endless.ps";
  writeWholeFile(ps, "%!PS\n{} loop\n");
  const std::string pdf = scratch() + "/endless.pdf";
  CreatePDF engine;
  RecordingEvents events;
  engine.setEvents(&events);
  engine.CreatePDFfromPS(pdf, ps);
  unsetenv("VELLUMDOCK_JOB_TIMEOUT");
  EXPECT_FALSE(fileExists(pdf));
  EXPECT_EQ(events.events.back().name, "JobFail");
  EXPECT_NE(readWholeFile(scratch() + "/endless.log").find("did not finish within 2 seconds"), std::string::npos);

  const std::string next = scratch() + "/next.pdf";
  engine.CreatePDFfromPS(next, corpusFile("ps/alphabet.ps"));
  EXPECT_NE(pdfText(next).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
}

TEST_F(DistillerTest, MissingInputRaisesBeforeAnythingHappens) {
  const std::string pdf = scratch() + "/kept.pdf";
  writeWholeFile(pdf, "existing output");
  const std::string missing = scratch() + "/no such file.ps";
  CreatePDF engine;
  RecordingEvents events;
  engine.setEvents(&events);
  try {
    engine.CreatePDFfromPS(pdf, missing);
    FAIL() << "no error raised";
  } catch (const EngineError& error) {
    EXPECT_EQ(error.number(), -2147467008);
    EXPECT_EQ(error.source(), "Vellumdock");
    EXPECT_EQ(error.description(), "File " + missing + " does not exist.");
  }
  EXPECT_EQ(readWholeFile(pdf), "existing output");
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DistillerTest, BlankDistillerNameReceivesThePrinterName) {
  CreatePDF engine;
  DistillingOptions options;
  options.strDistiller = "   ";
  engine.CreatePDFfromPS(scratch() + "/a.pdf", corpusFile("ps/alphabet.ps"), options);
  EXPECT_EQ(options.strDistiller, engine.PrinterName());
  DistillingOptions named;
  named.strDistiller = "My Printer";
  engine.CreatePDFfromPS(scratch() + "/a.pdf", corpusFile("ps/alphabet.ps"), named);
  EXPECT_EQ(named.strDistiller, "My Printer");
}

TEST_F(DistillerTest, JobOptionsAreAppliedAndABrokenOneFailsTheJob) {
  const std::string options14 = scratch() + "/compat 1.4.joboptions";
  writeWholeFile(options14, "<< /CompatibilityLevel 1.4 >> setdistillerparams\n");
  CreatePDF engine;
  DistillingOptions options;
  options.strJobOptionsFile = options14;
  const std::string pdf = scratch() + "/a.pdf";
  engine.CreatePDFfromPS(pdf, corpusFile("ps/alphabet.ps"), options);
  EXPECT_EQ(readWholeFile(pdf).substr(0, 8), "%PDF-1.4");

  DistillingOptions defaults;
  engine.CreatePDFfromPS(pdf, corpusFile("ps/alphabet.ps"), defaults);
  EXPECT_NE(readWholeFile(pdf).substr(0, 8), "%PDF-1.4");

  const std::string broken = scratch() + "/broken.joboptions";
  writeWholeFile(broken, "<< /CompatibilityLevel >> setdistillerparams\n");
  options.strJobOptionsFile = broken;
  engine.CreatePDFfromPS(pdf, corpusFile("ps/alphabet.ps"), options);
  EXPECT_FALSE(fileExists(pdf));
  EXPECT_TRUE(fileExists(scratch() + "/a.log"));
}

TEST_F(DistillerTest, SecurityFromTheRegistryIsAes256WithTheConfiguredPermissions) {
  registerAcrobatVersion("7.0");
  const std::string key = "Software\\Vellumdock\\Distiller\\Security";
  writeKeyValue(HKEY_CURRENT_USER, key, "PermissionsPassword", RegItem{std::string("owner secret")});
  writeKeyValue(HKEY_CURRENT_USER, key, "OpenPassword", RegItem{std::string("open sesame")});
  writeKeyValue(HKEY_CURRENT_USER, key, "Permissions", RegItem{std::string("print-low, assemble")});
  CreatePDF engine;
  RecordingEvents events;
  engine.setEvents(&events);
  DistillingOptions options;
  options.blnApplySecurity = true;
  const std::string pdf = scratch() + "/secure.pdf";
  engine.CreatePDFfromPS(pdf, corpusFile("ps/alphabet.ps"), options);

  const std::string shown = runProgram({"qpdf", "--password=open sesame", "--show-encryption", pdf});
  EXPECT_NE(shown.find("R = 6"), std::string::npos) << shown;
  EXPECT_NE(shown.find("AESv3"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print low resolution: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print high resolution: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify document assembly: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("extract for any purpose: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
  // Without the open password the document does not open.
  int exitCode = 0;
  runProgram({"qpdf", "--show-npages", pdf}, &exitCode);
  EXPECT_EQ(exitCode, 2);
  // The permissions password lifts the restrictions.
  const std::string asOwner = runProgram({"qpdf", "--password=owner secret", "--show-encryption", pdf});
  EXPECT_NE(asOwner.find("Supplied password is owner password"), std::string::npos) << asOwner;
  // The security-capable Distiller has no events.
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DistillerTest, SecurityWithNothingConfiguredAllowsPrintAndCopyOnly) {
  registerAcrobatVersion("8.0");
  CreatePDF engine;
  DistillingOptions options;
  options.blnApplySecurity = true;
  const std::string pdf = scratch() + "/default.pdf";
  engine.CreatePDFfromPS(pdf, corpusFile("ps/alphabet.ps"), options);
  const std::string shown = runProgram({"qpdf", "--show-encryption", pdf});
  EXPECT_NE(shown.find("R = 6"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print high resolution: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("extract for any purpose: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify document assembly: not allowed"), std::string::npos) << shown;
  EXPECT_NE(pdfText(pdf).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
}

TEST_F(DistillerTest, VersionFiveAppliesNoSecurityAndKeepsTheEvents) {
  registerAcrobatVersion("5.0");
  CreatePDF engine;
  RecordingEvents events;
  engine.setEvents(&events);
  DistillingOptions options;
  options.blnApplySecurity = true;
  const std::string pdf = scratch() + "/open.pdf";
  engine.CreatePDFfromPS(pdf, corpusFile("ps/alphabet.ps"), options);
  EXPECT_NE(runProgram({"qpdf", "--show-encryption", pdf}).find("File is not encrypted"), std::string::npos);
  ASSERT_FALSE(events.events.empty());
  EXPECT_EQ(events.events.back().name, "JobDone");
}

TEST_F(DistillerTest, AwkwardNamesWorkEndToEnd) {
  CreatePDF engine;
  for (const std::string name : {"with spaces", "-leading dash", "quotes ' \"", "tilde~x~", "Ünïcødé ß 文字",
                                 "percent %d %s"}) {
    const std::string dir = scratch(name + " dir");
    const std::string ps = dir + "/" + name + ".ps";
    writeWholeFile(ps, readWholeFile(corpusFile("ps/alphabet.ps")));
    const std::string pdf = dir + "/" + name + ".pdf";
    engine.CreatePDFfromPS(pdf, ps);
    EXPECT_NE(pdfText(pdf).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << name;
    EXPECT_TRUE(fileExists(ps)) << "the PostScript file stays in place: " << name;
  }
}

}  // namespace
}  // namespace vd::test
