#include "engine/CreatePDF.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "engine/ErrorPolicy.h"
#include "engine/JobHelpers.h"
#include "outside/notepad/TextContent.h"
#include "outside/printing/PdfWriterDriver.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/PrintSubsystem.h"
#include "platform/ProcessLauncher.h"
#include "registry/clsRegistry.h"

namespace vd {
namespace {

constexpr const char* kTextPrinterName = "notepad";
constexpr int kOlderPlotPauseMilliseconds = 1000;

// The last line the text printer wrote on its standard error, without its program name.
std::string lastErrorLine(const std::string& errorFile) {
  std::string text;
  ignoringErrors([&] { text = fileSystem().readFile(errorFile); });
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::string line = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  const std::string prefix = std::string(kTextPrinterName) + ": ";
  if (line.rfind(prefix, 0) == 0) line.erase(0, prefix.size());
  return line;
}

}  // namespace

void CreatePDF::CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile,
                                   VisioOptions& options) {
  if (!FileExists(strVisioFile)) RaiseMissingInput(strVisioFile);
  const JobHelpers helpers;
  std::unique_ptr<VisioApplication> application;
  std::unique_ptr<VisioDocument> document;
  try {
    application = CreateVisioApplication();
    application->Visible(false);
    document = application->Documents().Open(strVisioFile);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = m_PrinterName;
    if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    document->Printer(options.strDistiller);
    LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, &options.strSecurityWindowCaption);
    document->Print();
    FileSettleWait(strPDFFile);
    if (options.blnCloseAcrobat) CloseDocumentWindow(strPDFFile);
    document->Close();
    application->Quit();
    document.reset();
    application.reset();
  } catch (...) {
    // Each step is tried whatever the one before did; the first error is the one reported.
    if (document) ignoringErrors([&] { document->Close(); });
    if (application) ignoringErrors([&] { application->Quit(); });
    document.reset();
    application.reset();
    RaiseAgain();
  }
}

void CreatePDF::CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile,
                                     AutoCADOptions& options) {
  if (!FileExists(strDWGFile)) RaiseMissingInput(strDWGFile);
  const JobHelpers helpers;
  std::unique_ptr<AutoCADApplication> application;
  std::unique_ptr<AutoCADDocument> document;
  try {
    const bool newerAcrobat = leadingNumber(m_AcrobatVersion) > 5;
    // The writer's name is the operation's own copy.
    std::string strPDFWriter = options.strPDFWriter;
    if (newerAcrobat) {
      strPDFWriter = m_PrinterName;
    } else {
      // The PDFWriter printer takes its output file from this value.
      clsRegistry registry;
      registry.OpenRegistry(HKEY_CURRENT_USER, PdfWriterDriver::kSettingsKey);
      registry.CreateValue(PdfWriterDriver::kFileNameValue, strPDFFile, REG_SZ);
      registry.CloseRegistry();
    }
    if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    if (newerAcrobat) LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, nullptr);
    application = CreateAutoCADApplication();
    document = application->Application().Documents().Open(strDWGFile, true);
    const std::unique_ptr<AutoCADLayout> layout = document->Layouts(options.varLayout);
    document->ActiveLayout(*layout);
    document->Plot().PlotToDevice(strPDFWriter);
    if (newerAcrobat) {
      FileSettleWait(strPDFFile);
      if (options.blnCloseAcrobat) CloseDocumentWindow(strPDFFile);
    } else {
      eventPump().pause(kOlderPlotPauseMilliseconds);
    }
    document->Close(false);
    document.reset();
    application->Quit();
    application.reset();
  } catch (...) {
    // A failure of the clean-up reaches the caller in place of the first one.
    closeThenQuit(document, application, [](AutoCADDocument& opened) { opened.Close(std::nullopt); });
    RaiseAgain();
  }
}

void CreatePDF::CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                           CrystalReportOptions& options) {
  if (!FileExists(strCrystalReport)) RaiseMissingInput(strCrystalReport);
  const JobHelpers helpers;
  std::unique_ptr<CrystalReportsApplication> application;
  std::unique_ptr<CrystalReport> report;
  try {
    application = CreateCrystalReportsApplication();
    report = application->OpenReport(strCrystalReport);
    if (trimSpaces(options.strDistiller).empty()) options.strDistiller = m_PrinterName;
    if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    report->SelectPrinter("", options.strDistiller, "");
    LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, nullptr);
    std::optional<std::int32_t> startPage;
    std::optional<std::int32_t> endPage;
    if (options.lngStartPage > 0) startPage = options.lngStartPage;
    if (options.lngEndPage > 0) endPage = options.lngEndPage;
    report->PrintOut(false, 1, false, startPage, endPage);
    FileSettleWait(strPDFFile);
    if (options.blnCloseAcrobat) CloseDocumentWindow(strPDFFile);
    report.reset();
    ignoringErrors([&] { application->CanClose(); });
    application.reset();
  } catch (...) {
    ignoringErrors([&] { report.reset(); });
    if (application) ignoringErrors([&] { application->CanClose(); });
    ignoringErrors([&] { application.reset(); });
    RaiseAgain();
  }
}

void CreatePDF::restoreDefaultPrinter(const std::string& savedPrinter) {
  // Setting the default to no printer changes nothing, so a user who had none would be left
  // with the PDF printer as the default of every program: the entry is cleared instead.
  if (savedPrinter.empty()) {
    printSubsystem().writeProfileString("windows", "Device", "");
  } else {
    SetDefPrinter(savedPrinter);
  }
}

void CreatePDF::CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile,
                                       TextFileOptions& options) {
  if (!FileExists(strTextFile)) RaiseMissingInput(strTextFile);
  const JobHelpers helpers;
  // Set once the default printer is about to be switched: only then is it put back.
  std::optional<std::string> savedPrinter;
  std::string errorFile;
  try {
    // Printed, an archive or a program would come out as pages of garbage, and its input
    // would then be removed as converted: it is refused before anything changes.
    if (const auto reason = notTextReasonOfFile(strTextFile)) {
      throw EngineError("The file " + strTextFile + " is not a text file: " + *reason + ".");
    }
    savedPrinter = printSubsystem().defaultPrinter();
    SetDefPrinter(trimSpaces(options.strDistiller).empty() ? m_PrinterName : options.strDistiller);
    if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, &options.strSecurityWindowCaption);

    const std::string textPrinter = HelperProgramPath(kTextPrinterName);
    errorFile = m_TempFilePath + kTextPrinterName + "-" + GetRandomStem() + ".err";
    const std::string argumentText = "/p \"" + strTextFile + "\"";
    const auto started = processLauncher().startWatched(textPrinter, argumentText, errorFile);
    if (!started) throw EngineError("Unable to start " + textPrinter + " " + argumentText);

    FileSettleWait(strPDFFile, [&]() -> std::optional<std::string> {
      if (processLauncher().isRunning(*started)) return std::nullopt;
      const std::string why = lastErrorLine(errorFile);
      return "The text file " + strTextFile + " was not printed" + (why.empty() ? "." : ": " + why);
    });
    if (options.blnCloseAcrobat) CloseDocumentWindow(strPDFFile);
    restoreDefaultPrinter(*savedPrinter);
  } catch (...) {
    if (!errorFile.empty()) ignoringErrors([&] { fileSystem().deleteFile(errorFile); });
    // A failure of setting the printer back reaches the caller in place of the first one.
    try {
      if (savedPrinter) restoreDefaultPrinter(*savedPrinter);
    } catch (...) {
      RaiseAgain();
    }
    RaiseAgain();
  }
  ignoringErrors([&] { fileSystem().deleteFile(errorFile); });
}

}  // namespace vd
