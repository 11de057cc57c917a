// One conversion and its outcome with the real engine, as the scan cycle, a lane and
// vellumdk-convert decide it: the pages the outcome carries are the PDF's own, a failed
// conversion leaves nothing where there was nothing and keeps what was there, and a PDF
// cut short before its end is no conversion.
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
                                           Corpus("jpg/flower.jpg")};
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

}  // namespace
}  // namespace vd::test
