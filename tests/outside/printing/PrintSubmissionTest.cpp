// Printing a stream on a printer of the table: the printer's driver, found by its name in
// the table, runs in this process; the PDF-file driver distills through the interpreter's
// worker into the file its port names. Checked by the PDFs' pages and text.
#include "outside/printing/PrintSubmission.h"

#include <gtest/gtest.h>

#include "outside/printing/PdfFileDriver.h"
#include "platform/PrintSubsystem.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

// The message of the PrintError the action throws; "" when it throws none.
std::string printErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const PrintError& error) {
    return error.what();
  }
  return {};
}

class PrintSubmissionTest : public IsolatedTest {
 protected:
  void install(const std::string& name, const std::string& driver, const std::string& port) {
    ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{name, driver, port}));
  }
};

TEST_F(PrintSubmissionTest, StreamsComeOutOfTheNamedOrTheDefaultPrinterThroughItsDriver) {
  install("PDF Here", PdfFileDriver::kDriverName, scratch("here.pdf"));
  install("Office PDF", "vellumdock pdf file", scratch("office.pdf"));
  install("Injected", "A Driver Of The Test", scratch("injected.pdf"));
  ASSERT_TRUE(printSubsystem().writeProfileString("windows", "Device", "Office PDF,vellumdock pdf file,PDF:"));
  const std::string twoPages = MakeTextPdf(scratch("two pages.pdf"), {"First page", "Second page"});
  // A driver is whatever the drivers given map its name to.
  PrinterDriverFactories injected = RealPrinterDrivers();
  injected["a driver of the test"] = [] { return std::make_unique<PdfFileDriver>(); };

  const struct {
    std::string printer;
    std::string stream;
    std::string output;
    int pages;
    std::string text;
  } cases[] = {
      {"pdf here", Corpus("ps/alphabet.ps"), "here.pdf", 1, "abcdefghijklmnopqrstuvwxyz"},
      {"", twoPages, "office.pdf", 2, "Second page"},
      {"Injected", Corpus("eps/ridt91.eps"), "injected.pdf", 1, ""},
  };
  for (const auto& each : cases) {
    SubmitPrintStream(each.printer, each.stream, "a document", injected);
    EXPECT_EQ(PageCount(scratch(each.output)), each.pages) << each.printer;
    EXPECT_NE(PdfText(scratch(each.output)).find(each.text), std::string::npos) << each.printer;
  }
  // An EPS stream keeps its bounding box.
  EXPECT_NE(ProgramOutput("pdfinfo", {scratch("injected.pdf")}).find("380 x 200 pts"), std::string::npos);
  // The driver given by name replaces an earlier output.
  SubmitPrintStream("PDF Here", twoPages, "again");
  EXPECT_EQ(PageCount(scratch("here.pdf")), 2);
}

TEST_F(PrintSubmissionTest, JobsThatCannotComeOutSayWhyAndLeaveNoPdf) {
  const std::string ps = Corpus("ps/alphabet.ps");
  EXPECT_EQ(printErrorOf([&] { SubmitPrintStream("", ps, "doc"); }), "No default printer is set.");

  install("Laser", "winspool", "Ne00:");
  install("Nameless Port", PdfFileDriver::kDriverName, "Documents\\*.pdf");
  install("Broken Job", PdfFileDriver::kDriverName, scratch("broken.pdf"));
  const std::string text = scratch("notes.txt");
  WriteBytes(text, "plain words, no program\n");
  const std::string failing = scratch("failing.ps");
  WriteBytes(failing, "%!PS\n72 72 moveto nosuchoperator showpage\n");

  const struct {
    std::string printer;
    std::string stream;
    std::string error;
  } cases[] = {
      {"Nowhere", ps, "The printer \"Nowhere\" is not installed."},
      {"laser", ps, "The driver \"winspool\" of the printer \"Laser\" is not available."},
      {"Broken Job", scratch("missing.ps"), "The print stream " + scratch("missing.ps") + " cannot be read."},
      {"Broken Job", text, "The file " + text + " is not a PostScript or PDF print stream."},
      {"Nameless Port", ps, "The port \"Documents\\*.pdf\" of the printer \"Nameless Port\" is not the path of a PDF file."},
      {"Broken Job", failing,
       "The printer \"Broken Job\" could not print " + failing + "; see " + scratch("broken.log") + "."},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(printErrorOf([&] { SubmitPrintStream(each.printer, each.stream, "doc"); }), each.error);
  }
  EXPECT_FALSE(FileExistsOnDisk(scratch("broken.pdf")));
  EXPECT_NE(ReadBytes(scratch("broken.log")).find("nosuchoperator"), std::string::npos);
}

}  // namespace
}  // namespace vd::test
