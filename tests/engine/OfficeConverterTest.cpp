// The office converters end to end: the engine, the stand-ins on the office worker with a
// real LibreOffice, and the Distiller on real Ghostscript, checked by the PDFs' pages and
// text.
#include <signal.h>

#include <thread>

#include "engine/CreatePDF.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ProcessChecks.h"

namespace vd::test {
namespace {

// pdfinfo's page size of the first page, as "W x H" in whole points.
std::string pageSize(const std::string& pdf) {
  const std::string info = ProgramOutput("pdfinfo", {pdf});
  const auto at = info.find("Page size:");
  if (at == std::string::npos) return "";
  double width = 0;
  double height = 0;
  if (std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &width, &height) != 2) return "";
  return std::to_string(static_cast<int>(width + 0.5)) + " x " + std::to_string(static_cast<int>(height + 0.5));
}

// The office worker among this process's children; 0 when none runs.
pid_t officeWorker() {
  for (const pid_t child : ChildrenStillRunning(0)) {
    const std::string name = ReadBytes("/proc/" + std::to_string(child) + "/comm");
    if (name.rfind("vellumdk-office", 0) == 0) return child;
  }
  return 0;
}

class OfficeConverterTest : public IsolatedTest {
 protected:
  CreatePDF engine;
};

TEST_F(OfficeConverterTest, WordDocumentsComeOutWithTheirPagesAndText) {
  struct Case {
    std::string document;
    int pages;
    std::vector<std::string> texts;
  };
  // Page counts are what the office suite gives for each document on its own.
  const Case cases[] = {
      {"doc/SampleDoc.doc", 2, {"I am a test document", "This is page two"}},
      {"doc/HeaderFooterUnicode.doc", 2, {"with a \xE2\x82\xAC euro symbol in it"}},
      {"doc/header_image.doc", 1, {"\xD0\xA1\xD1\x82\xD0\xBE\xD1\x80\xD0\xBE\xD0\xBD\xD0\xBD\xD0\xB8\xD0\xBA\xD0\xB8"}},
      {"doc/word2.doc", 4, {"PARTICIPANTS LIST", "New Orleans"}},
      // A ligature's text survives the Distiller.
      {"rtf/testTextConversion.rtf", 2, {"First Heading", "Fff"}},
      {"html/tutapi.html", 12, {"libwmf-0.2.0 Tutorial 1: The API"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    const std::string pdf = scratch("out.pdf");
    WriteBytes(pdf, "an older PDF of that name");
    WordOptions options;
    engine.CreatePDFfromWord(pdf, Corpus(c.document), options);
    EXPECT_EQ(PageCount(pdf), c.pages);
    ExpectContainsAll(PdfText(pdf), c.texts);
    // Fonts travel inside the PDF.
    EXPECT_EQ(ProgramOutput("pdffonts", {pdf}).find(" no  "), std::string::npos) << ProgramOutput("pdffonts", {pdf});
    // Neither the blank distiller name nor anything else is written back.
    EXPECT_EQ(options.strDistiller, "");
  }
  // The last page's pictures, found beside it, come along.
  EXPECT_NE(ProgramOutput("pdfimages", {"-list", scratch("out.pdf")}).find(" 400   300 "), std::string::npos)
      << ProgramOutput("pdfimages", {"-list", scratch("out.pdf")});
  // The print file is gone once the PDF is made.
  EXPECT_EQ(DirectoryEntries(engine.TempFilePath()), std::vector<std::string>{});
}

TEST_F(OfficeConverterTest, WordPageSettingsShowInThePdf) {
  const std::string document = Corpus("doc/SampleDoc.doc");
  WordOptions landscape;
  landscape.blnLandscape = true;
  engine.CreatePDFfromWord(scratch("wide.pdf"), document, landscape);
  EXPECT_EQ(pageSize(scratch("wide.pdf")), "842 x 595");

  // Numbers in the footer, centred for an unknown alignment code, the first page left out;
  // in the header as well, from the first page on.
  WordOptions footer;
  footer.blnPageNumberInFooter = true;
  footer.lngPageNumberAlignment = 5;
  engine.CreatePDFfromWord(scratch("footer.pdf"), document, footer);
  const std::vector<std::string> footerPages = PageTexts(scratch("footer.pdf"));
  ASSERT_EQ(footerPages.size(), 2u);
  const auto lastLine = [](std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    text = text.substr(text.find_last_of('\n') + 1);
    return text.substr(std::min(text.size(), text.find_first_not_of(' ')));
  };
  EXPECT_NE(lastLine(footerPages[0]), "1");
  EXPECT_EQ(lastLine(footerPages[1]), "2");
  WordOptions both = footer;
  both.blnPageNumberInHeader = true;
  both.blnFirstPage = true;
  engine.CreatePDFfromWord(scratch("both.pdf"), document, both);
  const std::vector<std::string> bothPages = PageTexts(scratch("both.pdf"));
  ASSERT_EQ(bothPages.size(), 2u);
  const std::string firstLine = bothPages[0].substr(0, bothPages[0].find('\n'));
  EXPECT_EQ(firstLine.substr(std::min(firstLine.size(), firstLine.find_first_not_of(' '))), "1");
  EXPECT_EQ(lastLine(bothPages[0]), "1");
  EXPECT_EQ(lastLine(bothPages[1]), "2");

  // A page selection prints those pages only.
  WordOptions second;
  second.strPages = "2";
  engine.CreatePDFfromWord(scratch("second.pdf"), document, second);
  EXPECT_EQ(PageCount(scratch("second.pdf")), 1);
  ExpectContainsAll(PdfText(scratch("second.pdf")), {"This is page two"});
}

TEST_F(OfficeConverterTest, FailuresAreEngineErrorsAndTheNextDocumentConverts) {
  WordOptions options;
  EXPECT_EQ(EngineErrorOf([&] { engine.CreatePDFfromWord(scratch("a.pdf"), scratch("none.doc"), options); }),
            "File " + scratch("none.doc") + " does not exist.");
  // A damaged document (it brings the suite down) and a protected one with the wrong
  // password end the call with the suite's reason instead of a dialog nobody answers.
  const std::pair<const char*, const char*> failing[] = {
      {"broken/Fuzzed.doc", "ended while it worked on"},
      {"protected/PasswordProtected.doc", "could not be opened with the password given"}};
  for (const auto& [document, reason] : failing) {
    SCOPED_TRACE(document);
    WordOptions wrong;
    wrong.strPassword = "not the password";
    const std::string error =
        EngineErrorOf([&] { engine.CreatePDFfromWord(scratch("a.pdf"), Corpus(document), wrong); });
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_FALSE(FileExistsOnDisk(scratch("a.pdf")));
  }

  // A worker killed in the middle of a document fails that document only.
  const pid_t worker = officeWorker();
  ASSERT_NE(worker, 0);
  std::thread killer([worker] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(-worker, SIGKILL);
  });
  const std::string killedError =
      EngineErrorOf([&] { engine.CreatePDFfromWord(scratch("k.pdf"), Corpus("html/tutapi.html"), options); });
  killer.join();
  EXPECT_FALSE(killedError.empty());
  engine.CreatePDFfromWord(scratch("next.pdf"), Corpus("doc/Word6.doc"), options);
  ExpectContainsAll(PdfText(scratch("next.pdf")), {"The quick brown fox jumps over the lazy dog"});
  EXPECT_NE(officeWorker(), worker);
}

}  // namespace
}  // namespace vd::test
