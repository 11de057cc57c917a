// Joining documents, with and without blank pages between them, with their bookmarks;
// saving, and PostScript export.
#include <sys/stat.h>

#include <algorithm>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>

#include "support/AssemblyFixture.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

using PdfJoiningTest = AssemblyTest;

std::vector<std::string> texts(const std::string& prefix, int count) {
  std::vector<std::string> pages;
  for (int i = 1; i <= count; ++i) pages.push_back(prefix + std::to_string(i));
  return pages;
}

// Each top-level bookmark's title and the index of the page it points at.
std::vector<std::pair<std::string, std::size_t>> bookmarks(const std::string& pdf) {
  QPDF document;
  document.processFile(pdf.c_str());
  const std::vector<QPDFObjectHandle> pages = document.getAllPages();
  QPDFOutlineDocumentHelper outlines(document);
  std::vector<std::pair<std::string, std::size_t>> found;
  for (QPDFOutlineObjectHelper& item : outlines.getTopLevelOutlines()) {
    const QPDFObjGen target = item.getDestPage().getObjGen();
    const auto page = std::find_if(pages.begin(), pages.end(), [&](auto& each) { return each.getObjGen() == target; });
    found.emplace_back(item.getTitle(), page - pages.begin());
  }
  return found;
}

TEST_F(PdfJoiningTest, JoinsInListOrderSkippingMissingOnesWithBookmarksLinearizedForOlderViewersOrPadded) {
  const PathArray list{1, {makePdf("b.pdf", texts("B", 2), true), scratch("missing.pdf"), makePdf("a.pdf", {"A1"}),
                           makePdf("c d.pdf", texts("C", 2), true)}};
  // Up to version 6 the viewer saves linearized, from 7 on it does not.
  for (const auto& [version, linearized] : std::vector<std::pair<std::string, bool>>{{"6.0", true}, {"7.0", false}}) {
    SCOPED_TRACE(version);
    engine_.setAcrobatVersion(version);
    const std::string out = scratch("joined.pdf");
    const std::size_t descriptors = OpenDescriptors();
    engine_->CreatePDFfromMultiPDF(out, list);
    EXPECT_EQ(OpenDescriptors(), descriptors);  // the join keeps nothing open
    EXPECT_EQ(PageTexts(out), (std::vector<std::string>{"B1", "B2", "A1", "C1", "C2"}));
    EXPECT_EQ(IsLinearized(out), linearized);
    EXPECT_EQ(bookmarks(out), (std::vector<std::pair<std::string, std::size_t>>{
                                  {"Mark B1", 0}, {"Mark B2", 1}, {"Mark C1", 3}, {"Mark C2", 4}}));
  }
  // Blank pages make every document start on an odd page; that join needs a list from zero.
  const std::string out = scratch("padded.pdf");
  engine_->CreatePDFfromMultiPDF2(
      out, PathArray{
               0, {makePdf("a.pdf", texts("A", 3)), makePdf("b.pdf", texts("B", 2)), makePdf("c.pdf", texts("C", 5))}});
  EXPECT_EQ(PageTexts(out), (std::vector<std::string>{"A1", "A2", "A3", "", "B1", "B2", "C1", "C2", "C3", "C4", "C5"}));
  EXPECT_EQ(RunProgram("qpdf", {"--check", out}), 0);
  EXPECT_THROW(engine_->CreatePDFfromMultiPDF2(scratch("x.pdf"), list), EngineError);
}

TEST_F(PdfJoiningTest, FailuresAreReportedAndLoseNothing) {
  const PathArray list{0, {makePdf("a.pdf", {"A"})}};
  // A listed document that exists but is damaged fails the join; it stays where it was.
  for (const std::string& broken : {Corpus("broken/qpdf-bad1.pdf"), Corpus("broken/qpdf-pages-loop.pdf")}) {
    SCOPED_TRACE(broken);
    const std::string out = scratch("out.pdf");
    EXPECT_THROW(engine_->CreatePDFfromMultiPDF(out, PathArray{0, {list.items[0], broken}}), EngineError);
    EXPECT_FALSE(FileExistsOnDisk(out));
    EXPECT_TRUE(FileExistsOnDisk(broken));
  }
  // A read-only output: an engine error, not a quiet return, and the output left as it was.
  const std::string locked = makePdf("locked.pdf", {"Locked"});
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  EXPECT_NE(EngineErrorOf([&] { engine_->CreatePDFfromMultiPDF(locked, list); }).find(locked), std::string::npos);
  EXPECT_NE(EngineErrorOf([&] { engine_->CreatePDFfromMultiPDF2(locked, list); }).find(locked), std::string::npos);
  EXPECT_EQ(PageTexts(locked), std::vector<std::string>{"Locked"});
}

TEST_F(PdfJoiningTest, PostScriptExportWritesEveryPage) {
  const std::string ps = scratch("out put.ps");
  engine_->CreatePSfromPDF(makePdf("three.pdf", texts("P", 3)), ps);
  ASSERT_EQ(ReadBytes(ps).substr(0, 4), "%!PS");
  const std::string back = scratch("back.pdf");
  ASSERT_EQ(RunProgram("gs", {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-sOutputFile=" + back, ps}), 0);
  EXPECT_EQ(PageTexts(back), (std::vector<std::string>{"P1", "P2", "P3"}));

  // Nothing to export: silence, and no file.
  engine_->CreatePSfromPDF(scratch("missing.pdf"), scratch("none.ps"));
  engine_->CreatePSfromPDF(Corpus("broken/qpdf-bad1.pdf"), scratch("none.ps"));
  EXPECT_FALSE(FileExistsOnDisk(scratch("none.ps")));
}

}  // namespace
}  // namespace vd::test
