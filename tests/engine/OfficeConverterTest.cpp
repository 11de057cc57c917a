// The office converters end to end: the engine, the stand-ins on the office worker with a
// real LibreOffice, and the Distiller on real Ghostscript, checked by the PDFs' pages, text
// and drawing.
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>

#include "engine/CreatePDF.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ProcessChecks.h"
#include "support/TestBounds.h"

namespace vd::test {
namespace {

// pdfinfo's page size of the first page, as "W x H" in whole points.
std::string pageSize(const std::string& pdf) {
  const std::string info = ProgramOutput("pdfinfo", {pdf});
  const auto at = info.find("Page size:");
  double width = 0;
  double height = 0;
  if (at == std::string::npos || std::sscanf(&info[at], "Page size: %lf x %lf", &width, &height) != 2) return "";
  return std::to_string(std::lround(width)) + " x " + std::to_string(std::lround(height));
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
  // Page counts are what the office suite gives for each document on its own.
  const std::tuple<std::string, int, std::vector<std::string>> cases[] = {
      // Documents with comments: the suite builds their margin panel even without a display.
      {"doc/footnote.doc", 1, {"Test text"}},
      {"doc/FloatingPictures.doc", 8, {"This is plain text in the header"}},
      // A ligature's text survives the Distiller.
      {"rtf/testTextConversion.rtf", 2, {"First Heading", "Fff"}},
      {"html/tutapi.html", 12, {"libwmf-0.2.0 Tutorial 1: The API"}},
  };
  for (const auto& [document, pages, texts] : cases) {
    SCOPED_TRACE(document);
    const std::string pdf = scratch("out.pdf");
    WriteBytes(pdf, "an older PDF of that name");
    WordOptions options;
    engine.CreatePDFfromWord(pdf, Corpus(document), options);
    EXPECT_EQ(PageCount(pdf), pages);
    ExpectContainsAll(PdfText(pdf), texts);
    // Fonts travel inside the PDF.
    EXPECT_EQ(ProgramOutput("pdffonts", {pdf}).find(" no  "), std::string::npos) << ProgramOutput("pdffonts", {pdf});
  }
  // A picture the last document only links to (found beside it) stays out: the suite
  // follows no link of a document.
  EXPECT_EQ(ProgramOutput("pdfimages", {"-list", scratch("out.pdf")}).find(" 400   300 "), std::string::npos)
      << ProgramOutput("pdfimages", {"-list", scratch("out.pdf")});
  // The print file is gone once the PDF is made.
  EXPECT_EQ(DirectoryEntries(engine.TempFilePath()), std::vector<std::string>{});

  // A document whose opening and printing run a macro of its own converts without running
  // it: the macro would replace the document's text.
  const std::string document = scratch("opens with a macro.fodt");
  WriteBytes(document, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" office:version="1.3"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0" xmlns:ooo="http://openoffice.org/2004/office"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:scripts>
  <office:script script:language="ooo:Basic"><ooo:libraries><ooo:library-embedded ooo:name="Standard">
   <ooo:module ooo:name="Opening"><ooo:source-code>Sub OnOpen
  ThisComponent.Text.String = "Rewritten by the open macro"
End Sub
</ooo:source-code></ooo:module>
  </ooo:library-embedded></ooo:libraries></office:script>
  <office:event-listeners>
   <script:event-listener script:language="ooo:script" script:event-name="dom:load" xlink:type="simple"
    xlink:href="vnd.sun.star.script:Standard.Opening.OnOpen?language=Basic&amp;location=document"/>
   <script:event-listener script:language="ooo:script" script:event-name="office:copy-to" xlink:type="simple"
    xlink:href="vnd.sun.star.script:Standard.Opening.OnOpen?language=Basic&amp;location=document"/>
  </office:event-listeners>
 </office:scripts>
 <office:body><office:text><text:p>The body as it was written</text:p></office:text></office:body>
</office:document>
)");
  const auto converted = [&](CreatePDF& by) {
    WordOptions options;
    by.CreatePDFfromWord(scratch("macro.pdf"), document, options);
    return PdfText(scratch("macro.pdf"));
  };
  const std::string text = converted(engine);
  EXPECT_NE(text.find("The body as it was written"), std::string::npos) << text;
  EXPECT_EQ(text.find("Rewritten"), std::string::npos) << text;
  // The control: a suite that lets documents run their macros (a switch of the tests) runs
  // this one, so the text above is the sign of a macro stopped, not of one that cannot run.
  environment.set("VELLUMDOCK_TEST_RUN_MACROS", "1");
  CreatePDF allowing;
  EXPECT_NE(converted(allowing).find("Rewritten by the open macro"), std::string::npos);
}

TEST_F(OfficeConverterTest, WordPageSettingsShowInThePdf) {
  const std::string document = Corpus("doc/SampleDoc.doc");
  // A page's first or last line of text, without the blanks around it.
  const auto edgeLine = [](std::string page, bool last) {
    page.erase(page.find_last_not_of(" \n") + 1);
    page.erase(0, page.find_first_not_of(" \n"));
    const std::string line = last ? page.substr(page.find_last_of('\n') + 1) : page.substr(0, page.find('\n'));
    return line.substr(std::min(line.size(), line.find_first_not_of(' ')));
  };
  // Landscape, numbers in the header and the footer, and of the pages those asked for only.
  WordOptions wide;
  wide.blnLandscape = true;
  wide.blnPageNumberInHeader = true;
  wide.blnPageNumberInFooter = true;
  wide.strPages = "2";
  engine.CreatePDFfromWord(scratch("wide.pdf"), document, wide);
  EXPECT_EQ(pageSize(scratch("wide.pdf")), "842 x 595");
  const std::vector<std::string> second = PageTexts(scratch("wide.pdf"));
  ASSERT_EQ(second.size(), 1u);
  ExpectContainsAll(second[0], {"This is page two"});
  EXPECT_EQ(edgeLine(second[0], false), "2");
  EXPECT_EQ(edgeLine(second[0], true), "2");

  // Numbers in the footer and the header, centred for an unknown alignment code, the first
  // page left out of both.
  WordOptions footer;
  footer.blnPageNumberInFooter = true;
  footer.blnPageNumberInHeader = true;
  footer.lngPageNumberAlignment = 5;
  engine.CreatePDFfromWord(scratch("footer.pdf"), document, footer);
  const std::vector<std::string> pages = PageTexts(scratch("footer.pdf"));
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_NE(edgeLine(pages[0], false), "1");
  EXPECT_NE(edgeLine(pages[0], true), "1");
  EXPECT_EQ(edgeLine(pages[1], false), "2");
  EXPECT_EQ(edgeLine(pages[1], true), "2");
}

TEST_F(OfficeConverterTest, WorkbooksPrintTheChosenSheetAndRangeWithTheirPageSetup) {
  // A blank range prints the print area, and the caller learns its name.
  ExcelOptions printArea;
  printArea.strRange = "  ";
  engine.CreatePDFfromExcel(scratch("area.pdf"), Corpus("xls/SimpleWithPrintArea.xls"), printArea);
  EXPECT_EQ(printArea.strRange, "Print_Area");
  ExpectContainsAll(PdfText(scratch("area.pdf")), {"hi this is some text"});

  // Without a print area the sheet's used cells print: the active sheet, or the one chosen
  // by index or name, and only that one.
  const std::string sheets = Corpus("xls/HyperlinksOnManySheets.xls");
  const std::tuple<SheetRef, std::string, std::string> choices[] = {
      {std::nullopt, "Sheet one has URL links", "Sheet two"},
      {std::int32_t{1}, "Sheet one has URL links", "Sheet two"},
      {std::string("Emails"), "Sheet two", "Sheet one has URL links"},
  };
  for (const auto& [sheet, present, absent] : choices) {
    ExcelOptions options;
    options.varExcelWorksheet = sheet;
    engine.CreatePDFfromExcel(scratch("sheet.pdf"), sheets, options);
    const std::string text = PdfText(scratch("sheet.pdf"));
    EXPECT_NE(text.find(present), std::string::npos) << text;
    EXPECT_EQ(text.find(absent), std::string::npos) << text;
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
  EXPECT_GT(InkOf(scratch("setup.pdf"), scratch("setup"), 30, 1, 1), InkOf(scratch("plain.pdf"), scratch("plain"), 30, 1, 1));
  // The header sits at the right edge, the footer in the middle.
  const std::string layout = ProgramOutput("pdftotext", {"-layout", "-f", "1", "-l", "1", scratch("setup.pdf"), "-"});
  const auto column = [&](const std::string& part) {
    const auto at = layout.find(part);
    return at - layout.rfind('\n', at);
  };
  EXPECT_GT(column("Quarterly"), column("Sheet page"));
}

TEST_F(OfficeConverterTest, PresentationsAndPublicationsComeOutWithTheirSlidesAndPages) {
  const std::tuple<std::string, bool, int, std::vector<std::string>> cases[] = {
      // Chinese and Japanese text stays text (a CJK typeface is installed).
      {"ppt/54880_chinese.ppt", true, 1, {"複数の文字", "カタカナ"}},
      {"pub/SampleBrochure.pub", false, 2, {"Contoso Art", "Opening hours"}},
  };
  for (const auto& [document, presentation, pages, texts] : cases) {
    SCOPED_TRACE(document);
    const std::string pdf = scratch("out.pdf");
    if (presentation) {
      PowerPointOptions options;
      engine.CreatePDFfromPowerPoint(pdf, Corpus(document), options);
    } else {
      DistillingOptions options;
      engine.CreatePDFfromPub(pdf, Corpus(document), options);
      // Publisher's blank printer name is written back.
      EXPECT_EQ(options.strDistiller, engine.PrinterName());
    }
    EXPECT_EQ(PageCount(pdf), pages);
    ExpectContainsAll(PdfText(pdf), texts);
  }

  // Wide slides asked for wide stay as they are (slides turned tall: OfficeLayoutTest).
  PowerPointOptions wide;
  wide.blnHorizontalOrientation = true;
  engine.CreatePDFfromPowerPoint(scratch("wide.pdf"), Corpus("ppt/SampleShow.ppt"), wide);
  EXPECT_EQ(pageSize(scratch("wide.pdf")), "720 x 540");
  ExpectContainsAll(PdfText(scratch("wide.pdf")), {"Title of the first slide", "It has bullet points on it"});

  // A slide range: from the second slide of 42 to the fourth, and from the fortieth on.
  const std::pair<std::pair<int, int>, int> ranges[] = {{{2, 4}, 3}, {{40, -1}, 3}, {{-1, -1}, 42}};
  for (const auto& [range, pages] : ranges) {
    PowerPointOptions options;
    options.lngStartSlide = range.first;
    options.lngEndSlide = range.second;
    engine.CreatePDFfromPowerPoint(scratch("range.pdf"), Corpus("ppt/PPT95.ppt"), options);
    EXPECT_EQ(PageCount(scratch("range.pdf")), pages) << range.first << "-" << range.second;
  }
}

TEST_F(OfficeConverterTest, FailuresAreEngineErrorsAndTheNextDocumentConverts) {
  // A protected document with the wrong password ends the call with the suite's reason
  // instead of a dialog nobody answers.
  WordOptions wrong;
  wrong.strPassword = "not the password";
  const std::string error = EngineErrorOf(
      [&] { engine.CreatePDFfromWord(scratch("a.pdf"), Corpus("protected/PasswordProtected.doc"), wrong); });
  EXPECT_NE(error.find("could not be opened with the password given"), std::string::npos) << error;
  EXPECT_FALSE(FileExistsOnDisk(scratch("a.pdf")));
  // Without a password, each application's protected document says that it is protected.
  const std::vector<std::pair<std::string, std::function<void(const std::string&, const std::string&)>>> protectedFiles = {
      {"protected/PasswordProtected.doc", [&](const std::string& pdf, const std::string& in) {
         WordOptions options;
         engine.CreatePDFfromWord(pdf, in, options);
       }},
      {"protected/Password_Protected-hello.ppt", [&](const std::string& pdf, const std::string& in) {
         PowerPointOptions options;
         engine.CreatePDFfromPowerPoint(pdf, in, options);
       }},
      {"protected/password.xls", [&](const std::string& pdf, const std::string& in) {
         ExcelOptions options;
         engine.CreatePDFfromExcel(pdf, in, options);
       }}};
  for (const auto& [sample, convert] : protectedFiles) {
    const std::string reason = EngineErrorOf([&] { convert(scratch("p.pdf"), Corpus(sample)); });
    EXPECT_NE(reason.find(sample.substr(sample.find('/') + 1) + " is protected by a password"), std::string::npos)
        << reason;
    EXPECT_FALSE(FileExistsOnDisk(scratch("p.pdf")));
  }

  // A worker killed in the middle of a document fails that document only. The document is
  // long enough to take seconds, and the worker is killed once it has spent a third of a
  // second of processor time on it.
  std::string longDocument = "<html><body>";
  for (int paragraph = 0; paragraph < 6000; ++paragraph) {
    longDocument +=
        "<p>Paragraph " + std::to_string(paragraph) + " of a long document, <b>bold</b> and <i>not</i>.</p>";
  }
  WriteBytes(scratch("long.html"), longDocument + "</body></html>");
  const pid_t worker = officeWorker();
  ASSERT_NE(worker, 0);
  const long idle = GroupProcessorTicks(worker);
  const long third = sysconf(_SC_CLK_TCK) / 3;
  std::thread killer([worker, idle, third] {
    EventuallyHolds([&] { return GroupProcessorTicks(worker) >= idle + third; }, std::chrono::seconds(120));
    kill(-worker, SIGKILL);
  });
  WordOptions options;
  const std::string killedError =
      EngineErrorOf([&] { engine.CreatePDFfromWord(scratch("k.pdf"), scratch("long.html"), options); });
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

  // Page counts and sizes as the office suite gives them for each drawing on its own.
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {"vsd/44501.vsd", 1, "612 x 791", "farine"},
      {"vsd/Visio11PlanWithDimensions.vsd", 1, "792 x 612", "Geometry Width"},
  };
  for (const auto& [drawing, pages, size, text] : cases) {
    SCOPED_TRACE(drawing);
    WriteBytes(pdf, "an older PDF of that name");
    VisioOptions options;
    drawings.CreatePDFfromVisio(pdf, Corpus(drawing), options);
    EXPECT_EQ(options.strDistiller, "Adobe PDF");
    EXPECT_EQ(PageCount(pdf), pages);
    EXPECT_EQ(pageSize(pdf), size);
    ExpectContainsAll(PdfText(pdf), {text});
  }

  // A truncated drawing, one the suite would read as plain text and a printer that is not
  // installed: engine errors, no PDF, no print stream left in the temporary folder.
  const std::string damaged = scratch("damaged.vsd");
  WriteBytes(damaged, ReadBytes(Corpus("vsd/44501.vsd")).substr(0, 3000));
  const std::string text = scratch("text.vsd");
  WriteBytes(text, "Not a drawing at all, only a line of text.\n");
  const std::tuple<std::string, std::string, std::string> failures[] = {
      {damaged, "", "could not be opened"},
      {text, "", "is not a drawing"},
      {Corpus("vsd/44501.vsd"), "No Such Printer", "\"No Such Printer\" is not installed"},
  };
  for (const auto& [drawing, printer, reason] : failures) {
    SCOPED_TRACE(drawing);
    WriteBytes(pdf, "an older PDF of that name");
    VisioOptions options;
    options.strDistiller = printer;
    const std::string error = EngineErrorOf([&] { drawings.CreatePDFfromVisio(pdf, drawing, options); });
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_FALSE(FileExistsOnDisk(pdf));
    for (const std::string& entry : DirectoryEntries(scratch("tmp"))) {
      EXPECT_EQ(entry.rfind("vellumdock-print", 0), std::string::npos) << entry;
    }
  }
}

}  // namespace
}  // namespace vd::test
