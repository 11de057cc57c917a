#include "converters/textfile/TextFileConverter.h"

#include <memory>

#include "common/IgnoringErrors.h"
#include "common/Text.h"
#include "converters/EngineObject.h"
#include "converters/ErrorPolicy.h"
#include "converters/JobHelpers.h"
#include "outside/acrobat/PdfWholeness.h"
#include "outside/notepad/TextContent.h"
#include "platform/FileSystem.h"
#include "platform/PrintSubsystem.h"
#include "platform/ProcessLauncher.h"

namespace vd {
namespace {

constexpr const char* kTextPrinterName = "notepad";

// The last line the text printer wrote on its standard error, without its program name.
std::string lastErrorLine(const std::string& errorFile) {
  std::string text;
  // A reason that cannot be read leaves the failure without one, not without its report.
  ignoringErrors([&] { text = fileSystem().readFile(errorFile); });
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::string line = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  const std::string prefix = std::string(kTextPrinterName) + ": ";
  if (line.rfind(prefix, 0) == 0) line.erase(0, prefix.size());
  return line;
}

}  // namespace

std::vector<std::string> TextFileConverter::extensions() const { return {"txt", "bat"}; }

OperationOptions TextFileConverter::fixedOptions(bool /*security*/) const {
  TextFileOptions options;
  options.strDistiller = "";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  options.strSecurityWindowCaption = "adobe pdf - security";
  return options;
}

void TextFileConverter::run(EngineObject& engine, const std::string& strPDFFile, const std::string& strTextFile,
                            TextFileOptions& options) {
  if (!engine.FileExists(strTextFile)) engine.RaiseMissingInput(strTextFile);
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
    engine.SetDefPrinter(trimSpaces(options.strDistiller).empty() ? engine.PrinterName() : options.strDistiller);
    if (engine.FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
    engine.LaunchKeystrokeHelper(strPDFFile, options.strSaveWindowCaption, &options.strSecurityWindowCaption);

    const std::string textPrinter = engine.HelperProgramPath(kTextPrinterName);
    errorFile = engine.TempFilePath() + kTextPrinterName + "-" + engine.GetRandomStem() + ".err";
    const std::string argumentText = "/p \"" + strTextFile + "\"";
    const auto started = processLauncher().startWatched(textPrinter, argumentText, errorFile);
    if (!started) throw EngineError("Unable to start " + textPrinter + " " + argumentText);

    engine.FileSettleWait(strPDFFile, [&]() -> std::optional<std::string> {
      if (processLauncher().isRunning(*started)) return std::nullopt;
      const std::string why = lastErrorLine(errorFile);
      return "The text file " + strTextFile + " was not printed" + (why.empty() ? "." : ": " + why);
    });
    // The text printer says what its Distiller found of the PDF it wrote; the outcome's check
    // takes it for that very file, unchanged, instead of reading the PDF again.
    ignoringErrors([&] { TakeWholenessVerdicts(fileSystem().readFile(errorFile)); });
    if (options.blnCloseAcrobat) engine.CloseDocumentWindow(strPDFFile);
    engine.restoreDefaultPrinter(*savedPrinter);
  } catch (...) {
    if (!errorFile.empty()) ignoringErrors([&] { fileSystem().deleteFile(errorFile); });
    // A failure of setting the printer back reaches the caller in place of the first one.
    try {
      if (savedPrinter) engine.restoreDefaultPrinter(*savedPrinter);
    } catch (...) {
      RaiseAgain();
    }
    RaiseAgain();
  }
  ignoringErrors([&] { fileSystem().deleteFile(errorFile); });
}

}  // namespace vd
