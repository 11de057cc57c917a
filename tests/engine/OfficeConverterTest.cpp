// The office converters end to end: the engine, the stand-ins on the office worker with a
// real LibreOffice, and the Distiller on real Ghostscript, checked by the PDFs' pages, text
// and drawing.
#include <signal.h>

#include <optional>
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
      // Documents with comments: the suite builds their margin panel even without a display.
      {"doc/footnote.doc", 1, {"Test text"}},
      {"doc/FloatingPictures.doc", 8, {"This is plain text in the header"}},
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

  // A document whose open event runs a macro of its own converts without running it: the
  // macro would leave a file behind and replace the document's text.
  const std::string marker = scratch("the macro ran");
  const std::string document = scratch("opens with a macro.fodt");
  WriteBytes(document, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0"
 xmlns:ooo="http://openoffice.org/2004/office" xmlns:xlink="http://www.w3.org/1999/xlink"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:scripts>
  <office:script script:language="ooo:Basic">
   <ooo:libraries>
    <ooo:library-embedded ooo:name="Standard">
     <ooo:module ooo:name="Opening">
      <ooo:source-code>Sub OnOpen
  Dim n As Integer
  n = FreeFile
  Open ")" + marker + R"(" For Output As #n
  Print #n, "ran"
  Close #n
  ThisComponent.Text.String = "Rewritten by the open macro"
End Sub
</ooo:source-code>
     </ooo:module>
    </ooo:library-embedded>
   </ooo:libraries>
  </office:script>
  <office:event-listeners>
   <script:event-listener script:language="ooo:script" script:event-name="dom:load" xlink:type="simple"
    xlink:href="vnd.sun.star.script:Standard.Opening.OnOpen?language=Basic&amp;location=document"/>
  </office:event-listeners>
 </office:scripts>
 <office:body><office:text><text:p>The body as it was written</text:p></office:text></office:body>
</office:document>
)");
  WordOptions options;
  engine.CreatePDFfromWord(scratch("macro.pdf"), document, options);
  const std::string text = PdfText(scratch("macro.pdf"));
  EXPECT_NE(text.find("The body as it was written"), std::string::npos) << text;
  EXPECT_EQ(text.find("Rewritten"), std::string::npos) << text;
  EXPECT_FALSE(FileExistsOnDisk(marker));
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

// Pixels darker than white on the first page, drawn small in grey.
long inkOnFirstPage(const std::string& pdf, const std::string& prefix) {
  if (RunProgram("pdftoppm", {"-gray", "-r", "30", "-f", "1", "-l", "1", "-singlefile", pdf, prefix}) != 0) return -1;
  const std::string image = ReadBytes(prefix + ".pgm");
  // "P5\n<width> <height>\n255\n" and the samples.
  std::size_t at = 0;
  for (int lines = 0; lines < 3 && at != std::string::npos; ++lines) at = image.find('\n', at + 1);
  if (at == std::string::npos) return -1;
  long ink = 0;
  for (std::size_t i = at + 1; i < image.size(); ++i) ink += static_cast<unsigned char>(image[i]) < 200 ? 1 : 0;
  return ink;
}

TEST_F(OfficeConverterTest, WorkbooksPrintTheChosenSheetAndRangeWithTheirPageSetup) {
  // A blank range prints the print area, and the caller learns its name.
  ExcelOptions printArea;
  printArea.strRange = "  ";
  engine.CreatePDFfromExcel(scratch("area.pdf"), Corpus("xls/SimpleWithPrintArea.xls"), printArea);
  EXPECT_EQ(printArea.strRange, "Print_Area");
  EXPECT_EQ(printArea.strDistiller, engine.PrinterName());
  EXPECT_EQ(PageCount(scratch("area.pdf")), 1);
  ExpectContainsAll(PdfText(scratch("area.pdf")), {"hi this is some text"});

  // Without a print area the sheet's used cells print: the active sheet, or the one chosen
  // by index or name, and only that one.
  const std::string sheets = Corpus("xls/HyperlinksOnManySheets.xls");
  struct Choice {
    SheetRef sheet;
    std::string present;
    std::string absent;
  };
  const Choice choices[] = {
      {std::nullopt, "Sheet one has URL links", "Sheet two"},
      {std::int32_t{1}, "Sheet one has URL links", "Sheet two"},
      {std::string("Emails"), "Sheet two", "Sheet one has URL links"},
  };
  for (const Choice& choice : choices) {
    ExcelOptions options;
    options.varExcelWorksheet = choice.sheet;
    engine.CreatePDFfromExcel(scratch("sheet.pdf"), sheets, options);
    const std::string text = PdfText(scratch("sheet.pdf"));
    EXPECT_NE(text.find(choice.present), std::string::npos) << text;
    EXPECT_EQ(text.find(choice.absent), std::string::npos) << text;
  }
  ExcelOptions missing;
  missing.varExcelWorksheet = std::string("No such sheet");
  EXPECT_NE(EngineErrorOf([&] { engine.CreatePDFfromExcel(scratch("none.pdf"), sheets, missing); })
                .find("no sheet named No such sheet"),
            std::string::npos);

  // The page setup shows: gridlines drawn, the header on the right for code 3, the footer
  // centred with the page number counted from the first page number asked for.
  const std::string book = Corpus("xls/testEXCEL_95.xls");
  ExcelOptions plain;
  engine.CreatePDFfromExcel(scratch("plain.pdf"), book, plain);
  ExcelOptions setup;
  setup.blnUseGrid = true;
  setup.strHeader = "Quarterly vellum ";
  setup.lngHeaderAlignment = 3;
  setup.strFooter = "Sheet page &P of &N";
  setup.lngFooterAlignment = 3;
  setup.lngFirstPageNumber = 7;
  setup.dblTopMargin = 2;
  engine.CreatePDFfromExcel(scratch("setup.pdf"), book, setup);
  const std::string text = PdfText(scratch("setup.pdf"));
  ExpectContainsAll(text, {"Quarterly vellum", "Sheet page 7 of 1", "Numbers and their Squares"});
  EXPECT_GT(inkOnFirstPage(scratch("setup.pdf"), scratch("setup")), inkOnFirstPage(scratch("plain.pdf"), scratch("plain")));
  // The header sits at the right edge, the footer in the middle.
  const std::string layout = ProgramOutput("pdftotext", {"-layout", "-f", "1", "-l", "1", scratch("setup.pdf"), "-"});
  const auto lineOf = [&](const std::string& part) {
    const auto at = layout.find(part);
    const auto start = layout.rfind('\n', at);
    return layout.substr(start + 1, at - start - 1);
  };
  EXPECT_GT(lineOf("Quarterly").size(), lineOf("Sheet page").size());
}

TEST_F(OfficeConverterTest, PresentationsAndPublicationsComeOutWithTheirSlidesAndPages) {
  struct Case {
    std::string document;
    bool presentation;
    int pages;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"ppt/SampleShow.ppt", true, 2, {"Title of the first slide", "It has bullet points on it"}},
      {"ppt/WithMaster.ppt", true, 2, {"This text comes from the Master", "Footer from the master slide"}},
      // Chinese and Japanese text stays text (a CJK typeface is installed).
      {"ppt/54880_chinese.ppt", true, 1, {"\xE8\xA4\x87\xE6\x95\xB0\xE3\x81\xAE\xE6\x96\x87\xE5\xAD\x97", "\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A"}},
      {"pub/Sample.pub", false, 2, {"This is some text on the first page"}},
      {"pub/SampleBrochure.pub", false, 2, {"Contoso Art", "Opening hours"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    const std::string pdf = scratch("out.pdf");
    if (c.presentation) {
      PowerPointOptions options;
      engine.CreatePDFfromPowerPoint(pdf, Corpus(c.document), options);
      EXPECT_EQ(options.strDistiller, "");
    } else {
      DistillingOptions options;
      engine.CreatePDFfromPub(pdf, Corpus(c.document), options);
      // Publisher's blank printer name is written back.
      EXPECT_EQ(options.strDistiller, engine.PrinterName());
    }
    EXPECT_EQ(PageCount(pdf), c.pages);
    ExpectContainsAll(PdfText(pdf), c.texts);
  }

  // Slides turn as asked, what is on them shrunk onto the turned page: tall unless wide
  // ones are asked for, whatever the presentation had.
  for (const bool horizontal : {false, true}) {
    PowerPointOptions options;
    options.blnHorizontalOrientation = horizontal;
    engine.CreatePDFfromPowerPoint(scratch("turned.pdf"), Corpus("ppt/SampleShow.ppt"), options);
    EXPECT_EQ(pageSize(scratch("turned.pdf")), horizontal ? "720 x 540" : "540 x 720");
    // Text beyond the page would not be extracted.
    ExpectContainsAll(PdfText(scratch("turned.pdf")), {"Title of the first slide", "It has bullet points on it"});
  }

  // A slide range: from the second slide of 42 to the fourth, and from the fortieth on.
  const std::pair<std::pair<int, int>, int> ranges[] = {{{2, 4}, 3}, {{40, -1}, 3}, {{-1, -1}, 42}};
  for (const auto& [range, pages] : ranges) {
    PowerPointOptions options;
    options.lngStartSlide = range.first;
    options.lngEndSlide = range.second;
    engine.CreatePDFfromPowerPoint(scratch("range.pdf"), Corpus("ppt/PPT95.ppt"), options);
    EXPECT_EQ(PageCount(scratch("range.pdf")), pages) << range.first << "-" << range.second;
  }

  // A presentation the suite refuses fails, and leaves nothing behind.
  PowerPointOptions options;
  EXPECT_FALSE(EngineErrorOf([&] { engine.CreatePDFfromPowerPoint(scratch("bg.pdf"), Corpus("ppt/backgrounds.ppt"), options); }).empty());
  EXPECT_FALSE(FileExistsOnDisk(scratch("bg.pdf")));
  EXPECT_EQ(DirectoryEntries(engine.TempFilePath()), std::vector<std::string>{});
}

TEST_F(OfficeConverterTest, FailuresAreEngineErrorsAndTheNextDocumentConverts) {
  WordOptions options;
  EXPECT_EQ(EngineErrorOf([&] { engine.CreatePDFfromWord(scratch("a.pdf"), scratch("none.doc"), options); }),
            "File " + scratch("none.doc") + " does not exist.");
  // A damaged document the suite can't load and a protected one with the wrong password
  // end the call with the suite's reason instead of a dialog nobody answers.
  const std::pair<const char*, const char*> failing[] = {
      {"broken/clusterfuzz-testcase-minimized-POIHWPFFuzzer-5074346559012864.doc", "could not be opened"},
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

TEST_F(OfficeConverterTest, DrawingsPrintWholeOnTheDistillerPrinterAndFailuresLeaveNothingBehind) {
  environment.set("TMPDIR", scratchFolder("tmp"));
  // The Distiller printer, its dialog answered by the keystroke helper.
  runSetup(environment);
  CreatePDF drawings;
  const std::string pdf = scratch("a drawing~1.pdf");

  struct Case {
    std::string drawing;
    int pages;
    std::string size;
    std::string text;
  };
  // Page counts and sizes as the office suite gives them for each drawing on its own.
  const Case cases[] = {
      {"vsd/44501.vsd", 1, "612 x 791", "farine"},
      {"vsd/Visio11PlanWithDimensions.vsd", 1, "792 x 612", "Geometry Width"},
      {"vsd/v5_Connection_Types.vsd", 1, "612 x 792", "Dynamic to Static"},
      {"vsd/visio_with_embeded.vsd", 2, "595 x 842", "\xD0\xB4\xD0\xB2\xD0\xB0\xD0\xB4\xD1\x86\xD0\xB0\xD1\x82\xD1\x8C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drawing);
    WriteBytes(pdf, "an older PDF of that name");
    VisioOptions options;
    drawings.CreatePDFfromVisio(pdf, Corpus(c.drawing), options);
    EXPECT_EQ(options.strDistiller, "Adobe PDF");
    EXPECT_EQ(PageCount(pdf), c.pages);
    EXPECT_EQ(pageSize(pdf), c.size);
    ExpectContainsAll(PdfText(pdf), {c.text});
  }

  // A truncated drawing, one the suite would read as plain text, a printer that is not
  // installed and a drawing that is not there: engine errors, no PDF, no print stream left
  // in the temporary folder.
  const std::string damaged = scratch("damaged.vsd");
  WriteBytes(damaged, ReadBytes(Corpus("vsd/44501.vsd")).substr(0, 3000));
  const std::string text = scratch("text.vsd");
  WriteBytes(text, "Not a drawing at all, only a line of text.\n");
  struct Failure {
    std::string drawing;
    std::string printer;
    std::string reason;
    bool olderPdfKept;
  };
  const Failure failures[] = {
      {damaged, "", "could not be opened", false},
      {text, "", "is not a drawing", false},
      {Corpus("vsd/44501.vsd"), "No Such Printer", "\"No Such Printer\" is not installed", false},
      {scratch("none.vsd"), "", "File " + scratch("none.vsd") + " does not exist.", true},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.drawing);
    WriteBytes(pdf, "an older PDF of that name");
    VisioOptions options;
    options.strDistiller = failure.printer;
    const std::string error = EngineErrorOf([&] { drawings.CreatePDFfromVisio(pdf, failure.drawing, options); });
    EXPECT_NE(error.find(failure.reason), std::string::npos) << error;
    EXPECT_EQ(FileExistsOnDisk(pdf), failure.olderPdfKept);
    for (const std::string& entry : DirectoryEntries(scratch("tmp"))) {
      EXPECT_EQ(entry.rfind("vellumdock-print", 0), std::string::npos) << entry;
    }
  }
}

}  // namespace
}  // namespace vd::test
