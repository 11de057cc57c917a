// Printing a stream on a printer of the table, its driver running in this process: the PDF-file
// driver, and the virtual printers vellumdk-setup installs (the Distiller printer, whose dialogs
// the real keystroke helper answers, and the PDFWriter printer). Checked by the PDFs' content.
#include "outside/printing/PrintSubmission.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "engine/CreatePDF.h"
#include "outside/printing/PdfFileDriver.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"
#include "platform/PrintSession.h"
#include "platform/PrintSubsystem.h"
#include "platform/RegistryHive.h"
#include "platform/WindowTable.h"
#include "registry/RegistryValues.h"
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

using PrintSubmissionTest = IsolatedTest;

void install(const std::string& name, const std::string& driver, const std::string& port) {
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{name, driver, port}));
}

TEST_F(PrintSubmissionTest, StreamsComeOutOfTheNamedOrTheDefaultPrinterThroughItsDriver) {
  install("PDF Here", PdfFileDriver::kDriverName, scratch("here.pdf"));
  install("Office PDF", "vellumdock pdf file", scratch("office.pdf"));
  install("Injected", "A Driver Of The Test", scratch("injected.pdf"));
  ASSERT_TRUE(printSubsystem().writeProfileString("windows", "Device", "Office PDF,vellumdock pdf file,PDF:"));
  const std::string twoPages = MakeTextPdf(scratch("two pages.pdf"), {"First page", "Second page"});
  // A driver is whatever the drivers given map its name to.
  PrinterDriverFactories injected = RealPrinterDrivers();
  injected["a driver of the test"] = [] { return std::make_unique<PdfFileDriver>(); };

  // The printer, the stream, the file the printer writes, its pages and a text on them.
  const std::tuple<std::string, std::string, std::string, int, std::string> cases[] = {
      {"pdf here", Corpus("ps/alphabet.ps"), "here.pdf", 1, "abcdefghijklmnopqrstuvwxyz"},
      {"", twoPages, "office.pdf", 2, "Second page"},
      {"Injected", twoPages, "injected.pdf", 2, "First page"},
  };
  for (const auto& [printer, stream, output, pages, text] : cases) {
    SubmitPrintStream(printer, stream, "a document", injected);
    EXPECT_EQ(PageCount(scratch(output)), pages) << printer;
    EXPECT_NE(PdfText(scratch(output)).find(text), std::string::npos) << printer;
  }
}

TEST_F(PrintSubmissionTest, JobsThatCannotComeOutSayWhyAndLeaveNoPdf) {
  const std::string ps = Corpus("ps/alphabet.ps");
  install("Nameless Port", PdfFileDriver::kDriverName, "Documents\\*.pdf");
  install("Broken Job", PdfFileDriver::kDriverName, scratch("broken.pdf"));
  const std::string text = scratch("notes.txt");
  WriteBytes(text, "plain words, no program\n");
  const std::string failing = scratch("failing.ps");
  WriteBytes(failing, "%!PS\n72 72 moveto nosuchoperator showpage\n");

  // The printer, the stream, the error.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"Nowhere", ps, "The printer \"Nowhere\" is not installed."},
      {"Broken Job", scratch("missing.ps"), "The print stream " + scratch("missing.ps") + " cannot be read."},
      {"Broken Job", text, "The file " + text + " is not a PostScript or PDF print stream."},
      {"Nameless Port", ps, "The port \"Documents\\*.pdf\" of the printer \"Nameless Port\" is not the path of a PDF file."},
      {"Broken Job", failing,
       "The printer \"Broken Job\" could not print " + failing + "; see " + scratch("broken.log") + "."},
  };
  for (const auto& [printer, stream, error] : cases) {
    EXPECT_EQ(printErrorOf([&] { SubmitPrintStream(printer, stream, "doc"); }), error);
  }
  EXPECT_FALSE(FileExistsOnDisk(scratch("broken.pdf")));
  EXPECT_NE(ReadBytes(scratch("broken.log")).find("nosuchoperator"), std::string::npos);
}

// The keystroke-helper launch as the print-dialog converters make it.
class HelperLaunchingEngine : public EngineObject {
 public:
  HelperLaunchingEngine() : EngineObject(EngineDetection::FromRegistry(), RealStandIns()) {}
};

// Presses Escape in the first "save pdf file as" dialog that appears, until stopped.
std::jthread escapePresser() {
  return std::jthread([](const std::stop_token& stop) {
    const std::string caption = "save pdf file as";
    while (!stop.stop_requested()) {
      if (WindowHandle dialog = windowTable().findWindow(nullptr, &caption)) {
        windowTable().sendMessage(dialog, WM_KEYDOWN, VK_ESCAPE, "");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
}

TEST_F(PrintSubmissionTest, DistillerPrinterSavesWhereItsOwnJobsHelperTypesOrNowhere) {
  runSetup(environment);
  environment.set("VELLUMDOCK_DIALOG_TIMEOUT", "3");
  environment.set("VELLUMDOCK_HELPER_TIMEOUT", "8");
  environment.set(kPrintSessionVariable, "");
  HelperLaunchingEngine engine;
  const std::string folder = scratchFolder("Dossier ~ été");
  const std::string security = "adobe pdf - security";
  enum class By { Helper, StaleHelper, Escape };
  const struct {
    std::string name;    // of the PDF in the folder
    By answeredBy;
    bool secured;        // security settings stored
    bool securityHelper; // the security dialog's helper is started too
    std::string error;   // "" when the PDF comes out
  } cases[] = {
      {"my file~1 ü.pdf", By::Helper, false, true, ""},
      {"secured.pdf", By::Helper, true, true, ""},
      {"unconfirmed.pdf", By::Helper, true, false,
       "The dialog \"Adobe PDF - Security\" of the printer \"Adobe PDF\" was not answered within 3 seconds: the job "
       "\"doc\" was not printed."},
      {"stale.pdf", By::StaleHelper, false, false,
       "The dialog \"Save PDF File As\" of the printer \"Adobe PDF\" was not answered within 3 seconds: the job "
       "\"doc\" was not printed."},
      {"escaped.pdf", By::Escape, false, false,
       "The dialog \"Save PDF File As\" of the printer \"Adobe PDF\" was cancelled: the job \"doc\" was not printed."},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    // Passwords alone are for the conversions that ask for security; the printer
    // protects its jobs only when told to.
    DistillerSecuritySettings{"open-4417", "", {}, each.secured}.store();
    const std::string pdf = folder + "/" + each.name;
    std::jthread escape;
    switch (each.answeredBy) {
      case By::Helper:
        engine.LaunchKeystrokeHelper(pdf, "save pdf file as", each.securityHelper ? &security : nullptr);
        break;
      case By::StaleHelper:
        // A helper of an earlier job that never printed is still waiting.
        engine.LaunchKeystrokeHelper(pdf, "save pdf file as", nullptr);
        beginPrintSession();
        break;
      case By::Escape:
        escape = escapePresser();
        break;
    }
    EXPECT_EQ(printErrorOf([&] { SubmitPrintStream("Adobe PDF", Corpus("ps/alphabet.ps"), "doc"); }), each.error);
    escape = {};
    if (!each.error.empty()) continue;  // no PDF: the folder is checked at the end
    const std::string password = each.secured ? "--password=open-4417" : "--password=";
    EXPECT_EQ(RunProgram("qpdf", {"--requires-password", pdf}), each.secured ? 0 : 2);
    const std::string opened = scratch("opened.pdf");
    ASSERT_EQ(RunProgram("qpdf", {password, "--decrypt", pdf, opened}), 0);
    EXPECT_NE(PdfText(opened).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  }
  EXPECT_EQ(DirectoryEntries(folder), (std::vector<std::string>{"my file~1 ü.pdf", "secured.pdf"}));
  EXPECT_TRUE(printSubsystem().defaultPrinter().empty());
}

TEST_F(PrintSubmissionTest, PdfWriterPrinterWritesToTheFileTheRegistryNames) {
  runSetup(environment);
  const auto printTo = [](const std::string& target) {
    if (!target.empty()) {
      RegKeyHandle key = 0;
      EXPECT_EQ(registryHive().createKey(rootHandle(HKEY_CURRENT_USER), "Software\\Adobe\\Acrobat PDFWriter",
                                         KEY_ALL_ACCESS, key, nullptr),
                ERROR_SUCCESS);
      EXPECT_EQ(registryHive().setValue(key, "PDFFilename", REG_SZ, target + '\0'), ERROR_SUCCESS);
      registryHive().closeKey(key);
    }
    return printErrorOf([] { SubmitPrintStream("Acrobat PDFWriter", Corpus("ps/alphabet.ps"), "doc"); });
  };
  EXPECT_EQ(printTo(""), "The printer \"Acrobat PDFWriter\" has no file to write: the value PDFFilename of "
                         "HKEY_CURRENT_USER\\Software\\Adobe\\Acrobat PDFWriter is not set.");
  const std::string folderless = scratch("no folder/plot.pdf");
  EXPECT_EQ(printTo(folderless), "The printer \"Acrobat PDFWriter\" cannot save a PDF as \"" + folderless +
                                     "\": the folder " + scratch("no folder") + " does not exist.");
  EXPECT_EQ(printTo(scratch("plot one.pdf")), "");
  EXPECT_EQ(PageCount(scratch("plot one.pdf")), 1);
  EXPECT_NE(PdfText(scratch("plot one.pdf")).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
}

}  // namespace
}  // namespace vd::test
