// One conversion and its outcome with the real engine, as the scan cycle, a lane and
// vellumdk-convert decide it: the pages the outcome carries are the PDF's own, a failed
// conversion leaves nothing where there was nothing and keeps what was there, and a PDF
// cut short before its end is no conversion; a PDF found whole is not read again while it
// stays as it was.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "outside/acrobat/PdfWholeness.h"
#include "platform/FileSystem.h"
#include "server/FileConversion.h"
#include "server/PathNames.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

class FileConversionTest : public IsolatedTest {
 protected:
  ConversionOutcome convert(const std::string& out, const std::string& in) {
    const ScriptSurroundings script{scratch(""), [] { return false; }, [](const std::string&) {}, {}, {}};
    return ConvertFile(&engine_, DispatchCall{out, in, GetExtension(in), false}, script);
  }

  CreatePDF engine_;
};

TEST_F(FileConversionTest, AWholePdfCarriesItsOwnPagesAndSize) {
  const std::vector<std::string> inputs = {Corpus("tif/g4-multi.tiff"), Corpus("png/basn2c16.png"),
                                           Corpus("jpg/flower.jpg"), Corpus("ps/alphabet.ps")};
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    const std::string out = scratch(GetBaseName(input) + ".pdf");
    const ConversionOutcome outcome = convert(out, input);
    ASSERT_TRUE(outcome.pdf) << outcome.failure.value_or("");
    EXPECT_FALSE(outcome.failure);
    EXPECT_EQ(outcome.pdf->pages, PageCount(out));
    EXPECT_EQ(outcome.pdf->bytes, ReadBytes(out).size());
  }
}

TEST_F(FileConversionTest, AFailureRemovesOnlyWhatItLeftAndSaysWhy) {
  // Nothing was there: nothing is left.
  const std::string fresh = scratch("fresh.pdf");
  ConversionOutcome outcome = convert(fresh, scratch("missing.png"));
  ASSERT_TRUE(outcome.failure);
  EXPECT_FALSE(outcome.pdf);
  EXPECT_NE(outcome.failure->find("missing.png"), std::string::npos) << *outcome.failure;
  EXPECT_FALSE(FileExistsOnDisk(fresh));
  // A file that was there stays as it was.
  const std::string kept = MakeTextPdf(scratch("kept.pdf"), {"kept before"});
  const std::string before = ReadBytes(kept);
  outcome = convert(kept, scratch("no such.png"));
  ASSERT_TRUE(outcome.failure);
  EXPECT_EQ(ReadBytes(kept), before);
}

TEST_F(FileConversionTest, APdfCutShortBeforeItsEndIsNotWhole) {
  const std::string whole = MakeTextPdf(scratch("whole.pdf"), {"one", "two"});
  const PdfWholeness checked = CheckPdfWholeness(whole);
  EXPECT_FALSE(checked.damage);
  EXPECT_EQ(checked.pages, 2);
  // Cut after the cross-reference table and its trailer, just before "%%EOF": qpdf alone
  // would read it without complaint.
  std::string bytes = ReadBytes(whole);
  bytes.resize(bytes.rfind("%%EOF"));
  const std::string cut = scratch("cut.pdf");
  WriteBytes(cut, bytes);
  ASSERT_NE(CheckPdfWholeness(cut).damage, std::nullopt);
  EXPECT_EQ(CheckPdfWholeness(cut).pages, 0);
}

TEST_F(FileConversionTest, AWholePdfIsReadAgainOnlyOnceItChanged) {
  const std::string written = MakeTextPdf(scratch("written.pdf"), {"one", "two"});
  // Older than the clock's tick, as a PDF is by the time it has been checked.
  Backdate(written, 60);
  ASSERT_EQ(CheckPdfWholeness(written).pages, 2);
  // Renamed, as a PDF takes its name after the check where it is written.
  const std::string named = scratch("named.pdf");
  ASSERT_EQ(std::rename(written.c_str(), named.c_str()), 0);
  struct stat status {};
  ASSERT_EQ(stat(named.c_str(), &status), 0);
  // Damaged in place with its length and time kept, which only a test does: a check that
  // still finds it whole did not read it again.
  std::string bytes = ReadBytes(named);
  bytes.replace(bytes.rfind("%%EOF"), 5, "%%EOX");
  WriteBytes(named, bytes);
  const timespec times[2] = {status.st_atim, status.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, named.c_str(), times, 0), 0);
  const PdfWholeness handedOn = CheckPdfWholeness(named);
  EXPECT_FALSE(handedOn.damage);
  EXPECT_EQ(handedOn.pages, 2);
  // Written since: read again, and its damage found.
  Backdate(named, 30);
  EXPECT_NE(CheckPdfWholeness(named).damage, std::nullopt);
}

}  // namespace
}  // namespace vd::test
