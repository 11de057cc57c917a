// The built vellumdk run as the operator's auto-start would run it ("vellumdk m" on the
// offscreen platform, after set-up), converting real files as they are dropped into its
// input directory: PostScript (EPS included) through the Distiller, images one page per
// frame, text files of any name through the text printer on the Distiller printer;
// AutoCAD drawings and reports, which have no converter here, and files that are not text
// end in failed/ with their reason. Results are checked by content.
#include <signal.h>

#include <map>
#include <set>

#include "ProgramFixture.h"
#include "platform/PrintSubsystem.h"
#include "platform/SettingsStore.h"

namespace vd::test {
namespace {

class ConversionEndToEndTest : public ProgramFixture {
 protected:
  ConversionEndToEndTest() : ProgramFixture("vellumdk") {}

  void SetUp() override {
    ProgramFixture::SetUp();
    settingsStore().write("InputDir", input_);
    settingsStore().write("OutputDir", output_);
    settingsStore().write("Seconds", "1");
  }

  std::string drop(const std::string& corpusFile, const std::string& name) {
    CopySettledFile(Corpus(corpusFile), input_ + "/" + name);
    return name;
  }
};

TEST_F(ConversionEndToEndTest, EveryKindEndsAsItsPdfOrInFailedWithItsReason) {
  // "|" opening a name and "%d" mean something to the interpreter; here they are only names.
  drop("ps/alphabet.ps", "|alpha bet 100%d.ps");
  // An EPS file goes to the Distiller as PostScript does; its page is its bounding box.
  drop("eps/golfer.eps", "golfer.EPS");
  WriteSettledFile(input_ + "/broken.ps", "%!PS\n/Helvetica findfont 12 scalefont setfont\nnosuchoperator\nshowpage\n");
  WriteSettledFile(input_ + "/forever.ps", "%!PS\n{} loop\n");
  // The image import tests check the other kinds page by page; these go the whole way
  // through the program.
  const std::map<std::string, int> framesByName = {
      {drop("jpg/flower.jpg", "flower.jpg"), 1}, {drop("gif/dispose_bgnd.gif", "anim.gif"), 5},
      {drop("tif/g4-multi.tiff", "fax.tiff"), 3}, {drop("cur/deerstalker.cur", "hat.cur"), 1}};
  const std::vector<std::string> failing = {"plan.dwg", "sales.rpt", "-rf 'q' ä.dwg"};
  for (const std::string& name : failing) WriteSettledFile(input_ + "/" + name, "content of " + name);
  // Text of any name prints on the Distiller printer, made the default for the while; an
  // archive, a program and a picture under a name of no converter are refused as not text.
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:", PRINTER_ATTRIBUTE_DEFAULT}));
  const std::map<std::string, std::vector<std::string>> linesByText = {
      {"notes ä.txt", {"Grüße, naïve café", "≈ Ω 漢字"}}, {"run.bat", {"@echo off", "REM start the run"}},
      {"README", {"read me first"}}, {"events.log", {"2026-12-06 started", "done"}}};
  for (const auto& [name, lines] : linesByText) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteSettledFile(input_ + "/" + name, text);
  }
  const std::string zipped = environment_.path("home/archive.zip");
  ASSERT_EQ(RunProgram("zip", {"-jq", zipped, Corpus("txt/GPL-3.txt")}), 0);
  const std::map<std::string, std::string> notText = {{"archive.dat", ReadBytes(zipped)},
                                                      {"program.dat", ReadBytes(std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup")},
                                                      {"picture.dat", ReadBytes(Corpus("png/basn2c16.png"))}};
  for (const auto& [name, bytes] : notText) WriteSettledFile(input_ + "/" + name, bytes);

  const std::string log = environment_.path("vellumdk.log");
  RunningProgram running(program_, {"m"}, log, {{"VELLUMDOCK_JOB_TIMEOUT", "5"}});
  EXPECT_TRUE(WaitUntil(running, [&] { return DirectoryEntries(input_) == std::vector<std::string>{"failed"}; },
                        std::chrono::seconds(240)))
      << "left in the input directory; log:\n" << ReadBytes(log);
  // Each text printer and keystroke helper ended with its job, long before its own bound.
  for (const char* helper : {"/notepad", "/tabnudge"}) expectNoProcessLeft(std::string(VD_BUILD_HELPER_DIR) + helper, 2);
  EXPECT_TRUE(running.running()) << "vellumdk ended early; log:\n" << ReadBytes(log);

  EXPECT_EQ(PageCount(output_ + "/|alpha bet 100%d.pdf"), 1);
  EXPECT_NE(PdfText(output_ + "/|alpha bet 100%d.pdf").find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_EQ(PageCount(output_ + "/golfer.pdf"), 1);
  EXPECT_NE(ProgramOutput("pdfinfo", {output_ + "/golfer.pdf"}).find("570 x 695 pts"), std::string::npos);
  for (const auto& [name, frames] : framesByName) {
    EXPECT_EQ(PageCount(output_ + "/" + name.substr(0, name.find_last_of('.')) + ".pdf"), frames) << name;
  }

  for (const auto& [name, lines] : linesByText) {
    const std::string made = output_ + "/" + name.substr(0, name.find_last_of('.')) + ".pdf";
    EXPECT_EQ(PageCount(made), 1) << name;
    ExpectContainsAll(PdfText(made), lines);
  }
  EXPECT_EQ(printSubsystem().defaultPrinter(), "Laser");

  // The failed jobs: no PDF, the input kept unchanged with its reason (a line of its own),
  // the Distiller's log beside where the PDF would have been; the endless one was stopped
  // at its bound. Nothing failed but these.
  std::set<std::string> kept(failing.begin(), failing.end());
  kept.insert({"broken.ps", "forever.ps"});
  for (const std::string& name : failing) EXPECT_EQ(ReadBytes(input_ + "/failed/" + name), "content of " + name) << name;
  for (const auto& [name, bytes] : notText) {
    EXPECT_EQ(ReadBytes(input_ + "/failed/" + name), bytes) << name;
    EXPECT_NE(ReadBytes(input_ + "/failed/" + name + ".error.txt").find("is not a text file"), std::string::npos) << name;
    kept.insert(name);
  }
  for (const std::string& name : kept) {
    EXPECT_FALSE(FileExistsOnDisk(output_ + "/" + name.substr(0, name.find_last_of('.')) + ".pdf")) << name;
    EXPECT_TRUE(ReadBytes(input_ + "/failed/" + name + ".error.txt").ends_with("\r\n")) << name;
  }
  EXPECT_EQ(DirectoryEntries(input_ + "/failed").size(), 2 * kept.size());
  EXPECT_NE(ReadBytes(output_ + "/broken.log").find("nosuchoperator"), std::string::npos);
  // The interpreter's error is the reason, in the note and after the log's line for it.
  const std::string interpreterError = "Error: /undefined in nosuchoperator";
  EXPECT_NE(ReadBytes(input_ + "/failed/broken.ps.error.txt").find(interpreterError), std::string::npos);
  const std::string logged = ReadBytes(environment_.path("state/Vellumdock/vellumdk.log"));
  EXPECT_NE(logged.find("Reason: The Distiller made no PDF of " + input_ + "/broken.ps: " + interpreterError),
            std::string::npos)
      << logged;
}

TEST_F(ConversionEndToEndTest, PdfBeingReplacedComesBackWhenTheProgramIsEndedMidConversion) {
  // A session's end (SIGHUP) or a service stop (SIGTERM) in the middle of a replacement:
  // the old PDF is back under its own name, and its input waits for the next start.
  settingsStore().write("Overwrite", "1");
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    MakeTextPdf(output_ + "/forever.pdf", {"old forever"});
    WriteSettledFile(input_ + "/forever.ps", "%!PS\n{} loop\n");
    const std::string log = environment_.path("vellumdk.log");
    RunningProgram running(program_, {"m"}, log, {{"VELLUMDOCK_JOB_TIMEOUT", "60"}});
    const auto setAside = [&] {
      return FileExistsOnDisk(output_ + "/.forever.pdf.replaced") && !FileExistsOnDisk(output_ + "/forever.pdf");
    };
    ASSERT_TRUE(WaitUntil(running, setAside, std::chrono::seconds(60))) << ReadBytes(log);
    running.signal(signal);
    ASSERT_EQ(running.waitForExit(std::chrono::seconds(30)), -1);
    // The signal's own action ended the program.
    EXPECT_EQ(running.endingSignal(), signal);
    EXPECT_NE(PdfText(output_ + "/forever.pdf").find("old forever"), std::string::npos);
    for (const std::string& name : DirectoryEntries(output_)) EXPECT_EQ(name.find(".replaced"), std::string::npos) << name;
    EXPECT_TRUE(FileExistsOnDisk(input_ + "/forever.ps"));
  }
}

}  // namespace
}  // namespace vd::test
