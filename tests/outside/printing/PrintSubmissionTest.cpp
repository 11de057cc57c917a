// Printing a stream on a printer of the table: the printer's driver, found by its name in
// the table, runs in this process; the PDF-file driver distills through the interpreter's
// worker into the file its port names. The virtual printers vellumdk-setup installs: the
// Distiller printer, whose dialogs the real keystroke helper answers as the engine starts
// it, and the PDFWriter printer. Checked by the PDFs' pages, text and encryption.
#include "outside/printing/PrintSubmission.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/CreatePDF.h"
#include "outside/printing/PdfFileDriver.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"
#include "platform/PrintSession.h"
#include "platform/PrintSubsystem.h"
#include "platform/WindowTable.h"
#include "platform/RegistryHive.h"
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

// The keystroke-helper launch as the print-dialog converters make it.
class HelperLaunchingEngine : public CreatePDF {
 public:
  using CreatePDF::LaunchKeystrokeHelper;
};

// Presses Escape in the first "save pdf file as" dialog that appears, from another thread.
class EscapePresser {
 public:
  EscapePresser()
      : thread_([this] {
          const std::string caption = "save pdf file as";
          while (!stop_) {
            if (WindowHandle dialog = windowTable().findWindow(nullptr, &caption)) {
              windowTable().sendMessage(dialog, WM_KEYDOWN, VK_ESCAPE, "");
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~EscapePresser() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(PrintSubmissionTest, DistillerPrinterSavesWhereItsOwnJobsHelperTypesOrNowhere) {
  runSetup(environment);
  environment.set("VELLUMDOCK_DIALOG_TIMEOUT", "3");
  environment.set("VELLUMDOCK_HELPER_TIMEOUT", "8");
  environment.set(kPrintSessionVariable, "");
  HelperLaunchingEngine engine;
  const std::string folder = scratchFolder("Dossier ~ été");
  const std::string security = "adobe pdf - security";
  const std::string notAnswered = "The dialog \"Save PDF File As\" of the printer \"Adobe PDF\" was not answered "
                                  "within 3 seconds: the job \"doc\" was not printed.";
  enum class By { Helper, HelperTyping, StaleHelper, Escape };
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
      {"stale.pdf", By::StaleHelper, false, false, notAnswered},
      {"escaped.pdf", By::Escape, false, false,
       "The dialog \"Save PDF File As\" of the printer \"Adobe PDF\" was cancelled: the job \"doc\" was not printed."},
      {"relative.pdf", By::HelperTyping, false, false,
       "The printer \"Adobe PDF\" cannot save a PDF as \"relative.pdf\": it is not an absolute path."},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    // Passwords alone are for the conversions that ask for security; the printer
    // protects its jobs only when told to.
    DistillerSecuritySettings{"open-4417", "", {}, each.secured}.store();
    const std::string pdf = folder + "/" + each.name;
    std::optional<EscapePresser> escape;
    switch (each.answeredBy) {
      case By::Helper:
        engine.LaunchKeystrokeHelper(pdf, "save pdf file as", each.securityHelper ? &security : nullptr);
        break;
      case By::HelperTyping:
        engine.LaunchKeystrokeHelper(each.name, "save pdf file as", nullptr);
        break;
      case By::StaleHelper:
        // A helper of an earlier job that never printed is still waiting.
        engine.LaunchKeystrokeHelper(pdf, "save pdf file as", nullptr);
        beginPrintSession();
        break;
      case By::Escape:
        escape.emplace();
        break;
    }
    EXPECT_EQ(printErrorOf([&] { SubmitPrintStream("Adobe PDF", Corpus("ps/alphabet.ps"), "doc"); }), each.error);
    escape.reset();
    if (!each.error.empty()) {
      EXPECT_EQ(DirectoryEntries(folder).size(), 2u) << "no PDF beside the earlier ones";
      continue;
    }
    const std::string password = each.secured ? "--password=open-4417" : "--password=";
    EXPECT_EQ(RunProgram("qpdf", {"--requires-password", pdf}), each.secured ? 0 : 2);
    EXPECT_EQ(ProgramOutput("qpdf", {password, "--show-npages", pdf}), "1\n");
    const std::string opened = scratch("opened.pdf");
    ASSERT_EQ(RunProgram("qpdf", {password, "--decrypt", pdf, opened}), 0);
    EXPECT_NE(PdfText(opened).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  }
  EXPECT_EQ(DirectoryEntries(folder), (std::vector<std::string>{"my file~1 ü.pdf", "secured.pdf"}));
  EXPECT_TRUE(printSubsystem().defaultPrinter().empty());
}

TEST_F(PrintSubmissionTest, PdfWriterPrinterWritesToTheFileTheRegistryNames) {
  runSetup(environment);
  const std::string missing = "The printer \"Acrobat PDFWriter\" has no file to write: the value PDFFilename of "
                              "HKEY_CURRENT_USER\\Software\\Adobe\\Acrobat PDFWriter is not set.";
  EXPECT_EQ(printErrorOf([] { SubmitPrintStream("Acrobat PDFWriter", Corpus("ps/alphabet.ps"), "doc"); }), missing);
  for (const std::string& target : {scratch("plot one.pdf"), scratch("no folder/plot.pdf")}) {
    RegKeyHandle key = 0;
    ASSERT_EQ(registryHive().createKey(rootHandle(HKEY_CURRENT_USER), "Software\\Adobe\\Acrobat PDFWriter",
                                       KEY_ALL_ACCESS, key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(registryHive().setValue(key, "PDFFilename", REG_SZ, target + '\0'), ERROR_SUCCESS);
    registryHive().closeKey(key);
    const std::string error =
        printErrorOf([] { SubmitPrintStream("Acrobat PDFWriter", Corpus("ps/alphabet.ps"), "doc"); });
    if (target.find("no folder") == std::string::npos) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(PageCount(target), 1);
      EXPECT_NE(PdfText(target).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
    } else {
      EXPECT_EQ(error, "The printer \"Acrobat PDFWriter\" cannot save a PDF as \"" + target + "\": the folder " +
                           scratch("no folder") + " does not exist.");
    }
  }
}

}  // namespace
}  // namespace vd::test
