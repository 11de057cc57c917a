// What a PostScript job can reach: its input, its output and a temporary folder of its own, nothing
// else, and nothing a job defines, stores or sets reaches a later job; checked through the engine
// with hostile jobs against the real interpreter, by the PDF's text and by the files they aimed at.
#include <QByteArray>
#include <algorithm>
#include <cstdio>

#include "common/PrivateDirectories.h"
#include "engine/CreatePDF.h"
#include "outside/ghostscript/GhostscriptRunner.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

// A PostScript string in hexadecimal, so that no character of a path needs escaping.
std::string psString(const std::string& text) {
  return "<" + QByteArray::fromStdString(text).toHex().toStdString() + ">";
}

// A job that tries, each attempt on its own, to read, list, write, overwrite, rename and
// delete files in a folder and to send its PDF there; it prints what it got on its page.
// As a check that attempts are not simply broken, it writes and reads back a file in its
// own temporary folder.
std::string hostileJob(const std::string& folder) {
  const std::string secret = psString(folder + "/secret.txt");
  return "%!PS\n/Helvetica findfont 10 scalefont setfont /y 760 def\n"
         "/say { 72 y moveto show /y y 14 sub def } def\n"
         "{ " + secret + " (r) file 200 string readstring pop (read: ) say say } stopped { (read refused) say } if\n"
         "{ " + psString(folder + "/*") + " { (listed: ) say say } 200 string filenameforall } stopped pop\n"
         "{ " + psString(folder + "/created.txt") + " (w) file dup (made) writestring closefile } stopped pop\n"
         "{ " + secret + " (w) file dup (overwritten) writestring closefile } stopped pop\n"
         "{ " + psString(folder + "/victim.txt") + " deletefile } stopped pop\n"
         "{ " + psString(folder + "/kept.txt") + " " + psString(folder + "/renamed.txt") + " renamefile } stopped pop\n"
         "{ null (w+) .tempfile dup (own temp works) writestring closefile\n"
         "  (r) file 100 string readstring pop say } stopped { (own temp refused) say } if\n"
         "showpage\n";
}

class InterpreterIsolationTest : public IsolatedTest {
 protected:
  CreatePDF engine;
};

TEST_F(InterpreterIsolationTest, JobsReachNoFileOutsideTheirFoldersAndNothingAJobChangesReachesTheNextJob) {
  // The plain page shows its size and whatever a job before it left behind.
  const std::string plain = scratch("plain.ps");
  WriteBytes(plain, "%!PS\n/Helvetica findfont 20 scalefont setfont 72 72 moveto (plain page) show\n"
                    "userdict /leak known { ( user leak) show } if globaldict /leak known { ( global leak) show } if\n"
                    "currentpagedevice /PageSize get { ( ) show 10 string cvs show } forall showpage\n");
  const std::string before = scratch("before.pdf");
  engine.CreatePDFfromPS(before, plain);
  ASSERT_EQ(PageCount(before), 1);
  EXPECT_EQ(PdfText(before).find("leak"), std::string::npos);
  // Each meddling job is followed by the plain one, which must come out as before.
  const auto expectPlainAsBefore = [&] {
    engine.CreatePDFfromPS(scratch("after.pdf"), plain);
    EXPECT_EQ(PdfText(scratch("after.pdf")), PdfText(before));
  };
  // The page shows that the job's changes took effect within it.
  WriteBytes(scratch("meddling.ps"),
             "%!PS\n/showpage { erasepage initgraphics } bind def userdict /leak (yes) put\n"
             "true setglobal globaldict /leak (yes) put false setglobal { true 0 startjob pop } stopped pop\n"
             "<< /PageSize [200 300] /BeginPage { pop 0 0 moveto (begin) show } >> setpagedevice\n"
             "/Helvetica findfont 20 scalefont setfont 10 10 moveto (meddled) show systemdict /showpage get exec\n");
  engine.CreatePDFfromPS(scratch("meddling.pdf"), scratch("meddling.ps"));
  EXPECT_NE(ProgramOutput("pdfinfo", {scratch("meddling.pdf")}).find("200 x 300 pts"), std::string::npos);
  expectPlainAsBefore();

  // The folder the interpreter took for its temporary files before each job had its own.
  const TemporaryDirectory sharedTemporary("vellumdock-victim");
  ASSERT_TRUE(sharedTemporary.ok());
  const std::string input = scratchFolder("in");
  const std::string output = scratchFolder("out");
  const std::pair<const char*, std::string> targets[] = {
      {"the shared temporary folder", sharedTemporary.path()}, {"the input folder", input},
      {"the output folder", output}, {"the home folder", environment.path("home")}};
  int round = 0;
  for (const auto& [where, folder] : targets) {
    SCOPED_TRACE(where);
    const std::string secret = "SECRET" + std::to_string(++round) + "XYZ";
    WriteBytes(folder + "/secret.txt", secret);
    WriteBytes(folder + "/victim.txt", "victim");
    WriteBytes(folder + "/kept.txt", "kept");
    const std::string ps = input + "/hostile.ps";
    WriteBytes(ps, hostileJob(folder));
    const std::string pdf = output + "/hostile.pdf";
    engine.CreatePDFfromPS(pdf, ps);
    ASSERT_TRUE(FileExistsOnDisk(pdf)) << ReadBytes(output + "/hostile.log");
    ASSERT_EQ(PageCount(pdf), 1);
    const std::string text = PdfText(pdf);
    ExpectContainsAll(text, {"read refused", "own temp works"});
    EXPECT_EQ(text.find(secret), std::string::npos) << text;
    EXPECT_EQ(text.find("listed"), std::string::npos) << text;
    EXPECT_EQ(ReadBytes(folder + "/secret.txt"), secret);
    EXPECT_EQ(ReadBytes(folder + "/victim.txt"), "victim");
    EXPECT_EQ(ReadBytes(folder + "/kept.txt"), "kept");
    for (const char* absent : {"created.txt", "renamed.txt"}) EXPECT_FALSE(FileExistsOnDisk(folder + "/" + absent)) << absent;
    std::remove(pdf.c_str());

    // The interpreter refuses the device's new output file, and it takes the job down
    // with it; whatever becomes of the job, nothing is written there.
    WriteBytes(ps, "%!PS\n<< /OutputFile " + psString(folder + "/stolen.pdf") +
                       " >> setpagedevice\n72 72 moveto (meddled) show showpage\n");
    engine.CreatePDFfromPS(pdf, ps);
    EXPECT_FALSE(FileExistsOnDisk(folder + "/stolen.pdf"));
    expectPlainAsBefore();
  }
}

TEST_F(InterpreterIsolationTest, TheWorkersTemporaryFolderIsPrivateAndGoesWithIt) {
  const TemporaryDirectory base("vellumdock-base");
  ASSERT_TRUE(base.ok());
  environment.set("TMPDIR", base.path());
  // The worker takes its folder when it starts.
  ghostscriptWorker().stop();
  WriteBytes(scratch("temporary.ps"), "%!PS\n/Helvetica findfont 10 scalefont setfont 72 700 moveto\n"
                                     "null (w) .tempfile closefile show showpage\n");
  engine.CreatePDFfromPS(scratch("a.pdf"), scratch("temporary.ps"));
  ASSERT_EQ(PageCount(scratch("a.pdf")), 1) << ReadBytes(scratch("a.log"));

  // One private folder shared with the worker; the job's page names its own temporary folder
  // in the worker's part of it, gone with the job and what the job left there (the next
  // job's folder may be there already).
  const std::vector<std::string> entries = DirectoryEntries(base.path());
  ASSERT_EQ(entries.size(), 1u);
  const std::string sharedFolder = base.path() + "/" + entries.front();
  EXPECT_EQ(FileMode(sharedFolder) & 077, 0);
  const std::string text = PdfText(scratch("a.pdf"));
  const std::size_t at = text.find(sharedFolder + "/work/process-");
  ASSERT_NE(at, std::string::npos) << text;
  const std::size_t jobAt = text.find("/job-", at);
  ASSERT_NE(jobAt, std::string::npos) << text;
  const std::string workerFolder = text.substr(at, jobAt - at);
  const std::string jobFolder = text.substr(jobAt + 1, std::string("job-XXXXXX").size());
  const std::vector<std::string> left = DirectoryEntries(workerFolder);
  EXPECT_LE(left.size(), 1u);
  EXPECT_EQ(std::find(left.begin(), left.end(), jobFolder), left.end()) << jobFolder;

  ghostscriptWorker().stop();
  EXPECT_EQ(DirectoryEntries(base.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vd::test
