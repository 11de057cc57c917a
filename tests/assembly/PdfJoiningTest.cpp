// Joining documents, with and without blank pages between them, saving, bookmarks and
// PostScript export.
#include <sys/stat.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>

#include "AssemblyFixture.h"
#include "platform/FileSystem.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

using PdfJoiningTest = AssemblyTest;

std::vector<std::string> texts(const std::string& prefix, int count) {
  std::vector<std::string> pages;
  for (int i = 1; i <= count; ++i) pages.push_back(prefix + std::to_string(i));
  return pages;
}

TEST_F(PdfJoiningTest, JoinsInListOrderSkippingMissingOnesLinearizedForOlderViewersOrPaddedWithBlankPages) {
  const PathArray list{1, {makePdf("b.pdf", texts("B", 2)), scratch("missing.pdf"), makePdf("a.pdf", texts("A", 1)),
                           makePdf("c d.pdf", texts("C", 3))}};
  for (const auto& [version, linearized] : std::vector<std::pair<std::string, bool>>{
           {"6.0", true}, {"", true}, {"7.0", false}, {"10.0", false}}) {
    SCOPED_TRACE(version);
    engine_.setAcrobatVersion(version);
    const std::string out = scratch("joined.pdf");
    const std::size_t descriptors = OpenDescriptors();
    engine_.CreatePDFfromMultiPDF(out, list);
    EXPECT_EQ(OpenDescriptors(), descriptors);  // the join keeps nothing open
    EXPECT_EQ(PageTexts(out), (std::vector<std::string>{"B1", "B2", "A1", "C1", "C2", "C3"}));
    EXPECT_EQ(IsLinearized(out), linearized);
  }
  // Blank pages make every document start on an odd page; that join needs a list from zero.
  const std::string out = scratch("padded.pdf");
  engine_.CreatePDFfromMultiPDF2(out, PathArray{0, {makePdf("a.pdf", texts("A", 3)), makePdf("b.pdf", texts("B", 2)),
                                                    makePdf("c.pdf", texts("C", 5))}});
  EXPECT_EQ(PageTexts(out), (std::vector<std::string>{"A1", "A2", "A3", "", "B1", "B2", "C1", "C2", "C3", "C4", "C5"}));
  EXPECT_EQ(RunProgram("qpdf", {"--check", out}), 0);
  engine_.CreatePDFfromMultiPDF2(out, PathArray{0, {makePdf("a.pdf", texts("A", 3)), makePdf("d.pdf", texts("D", 3))}});
  EXPECT_EQ(PageTexts(out), (std::vector<std::string>{"A1", "A2", "A3", "", "D1", "D2", "D3"}));
  EXPECT_THROW(engine_.CreatePDFfromMultiPDF2(scratch("x.pdf"), list), EngineError);
}

TEST_F(PdfJoiningTest, BookmarksComeAlongAndPointAtTheirPages) {
  engine_.setAcrobatVersion("8.0");
  const std::string out = scratch("marks.pdf");
  engine_.CreatePDFfromMultiPDF(out, PathArray{0, {makePdf("x.pdf", texts("X", 2), true),
                                                   makePdf("y.pdf", texts("Y", 1)),
                                                   makePdf("z.pdf", texts("Z", 2), true)}});
  QPDF joined;
  joined.processFile(out.c_str());
  const std::vector<QPDFObjectHandle> pages = joined.getAllPages();
  QPDFOutlineDocumentHelper outlines(joined);
  std::vector<std::pair<std::string, std::size_t>> found;
  for (QPDFOutlineObjectHelper& item : outlines.getTopLevelOutlines()) {
    const QPDFObjGen target = item.getDestPage().getObjGen();
    std::size_t index = pages.size();
    for (std::size_t i = 0; i < pages.size(); ++i) {
      if (pages[i].getObjGen() == target) index = i;
    }
    found.emplace_back(item.getTitle(), index);
  }
  EXPECT_EQ(found, (std::vector<std::pair<std::string, std::size_t>>{
                       {"Mark X1", 0}, {"Mark X2", 1}, {"Mark Z1", 3}, {"Mark Z2", 4}}));
  EXPECT_EQ(RunProgram("qpdf", {"--check", out}), 0);
}

TEST_F(PdfJoiningTest, FailuresAreReportedAndLoseNothing) {
  // A save that cannot happen is an error, not a quiet return.
  EXPECT_THROW(engine_.CreatePDFfromMultiPDF(scratch("no folder/out.pdf"), PathArray{0, {makePdf("a.pdf", {"A"})}}),
               EngineError);
  // A listed document that exists but is damaged fails the join; it stays where it was.
  const std::string truncated = scratch("truncated.pdf");
  fileSystem().writeFile(truncated, ReadBytes(makePdf("whole.pdf", texts("W", 3))).substr(0, 200));
  for (const std::string& broken : {truncated, Corpus("broken/qpdf-bad1.pdf"), Corpus("broken/qpdf-pages-loop.pdf")}) {
    SCOPED_TRACE(broken);
    const std::string out = scratch("out.pdf");
    EXPECT_THROW(engine_.CreatePDFfromMultiPDF(out, PathArray{0, {makePdf("a.pdf", {"A"}), broken}}), EngineError);
    EXPECT_FALSE(FileExistsOnDisk(out));
    EXPECT_TRUE(FileExistsOnDisk(broken));
  }
  // A read-only output is left as it was; the failure reaches the caller as an engine error.
  const std::string locked = makePdf("locked.pdf", {"Locked"});
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  const PathArray list{0, {makePdf("a.pdf", {"A"})}};
  EXPECT_NE(EngineErrorOf([&] { engine_.CreatePDFfromMultiPDF(locked, list); }).find(locked), std::string::npos);
  EXPECT_NE(EngineErrorOf([&] { engine_.CreatePDFfromMultiPDF2(locked, list); }).find(locked), std::string::npos);
  EXPECT_EQ(PageTexts(locked), std::vector<std::string>{"Locked"});
  // Only missing entries: still saved, as an empty document is all there is.
  EXPECT_NO_THROW(engine_.CreatePDFfromMultiPDF(scratch("none.pdf"), PathArray{0, {scratch("gone.pdf")}}));
}

TEST_F(PdfJoiningTest, PostScriptExportWritesEveryPage) {
  const std::string ps = scratch("out put.ps");
  engine_.CreatePSfromPDF(makePdf("three.pdf", texts("P", 3)), ps);
  const std::string postscript = ReadBytes(ps);
  ASSERT_EQ(postscript.substr(0, 4), "%!PS");
  const std::string back = scratch("back.pdf");
  ASSERT_EQ(RunProgram("gs", {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-sOutputFile=" + back, ps}), 0);
  EXPECT_EQ(PageTexts(back), (std::vector<std::string>{"P1", "P2", "P3"}));

  // Nothing to export: silence, and no file.
  engine_.CreatePSfromPDF(scratch("missing.pdf"), scratch("none.ps"));
  engine_.CreatePSfromPDF(Corpus("broken/qpdf-bad1.pdf"), scratch("none.ps"));
  EXPECT_FALSE(FileExistsOnDisk(scratch("none.ps")));
}

}  // namespace
}  // namespace vd::test
