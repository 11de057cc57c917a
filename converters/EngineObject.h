// The engine object every converter works with: what the engine detected when it was made
// (the viewer's version, the Distiller's printer), its temporary folder, where its events
// go and the outside components it makes; and the steps the converters share: the
// existence test and missing-input error, the distilling step, the default printer, the
// keystroke helper with the wait for the printed file, and the viewer's windows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "converters/CreatePDFEvents.h"
#include "converters/OperationOptions.h"
#include "outside/StandInFactories.h"
#include "outside/ocr/TextRecognition.h"

namespace vd {

// What the engine finds out when it is made: the viewer's version and the name of the
// Distiller's printer.
struct EngineDetection {
  std::string acrobatVersion;
  std::string printerName = "Acrobat Distiller";
  // Reads both from the registry (HKEY_LOCAL_MACHINE), as the engine object always does.
  static EngineDetection FromRegistry();
};

class EngineObject {
 public:
  EngineObject(EngineDetection detected, StandInFactories standIns);
  ~EngineObject();
  EngineObject(const EngineObject&) = delete;
  EngineObject& operator=(const EngineObject&) = delete;

  const std::string& AcrobatVersion() const { return m_AcrobatVersion; }
  const std::string& PrinterName() const { return m_PrinterName; }
  // Ends in "/".
  const std::string& TempFilePath() const { return m_TempFilePath; }
  // Creates the folder when it can; keeps the previous one when it is unusable. Never raises.
  void TempFilePath(std::string strPath);
  // Where the events go; nullptr (the default) drops them.
  void setEvents(CreatePDFEvents* events) { events_ = events; }
  // How the pictures of the conversions from now on get their text layer (none by default).
  void setTextRecognition(TextRecognition recognition) { recognition_ = std::move(recognition); }

  // True when the length of the file can be read; never raises.
  bool FileExists(const std::string& path) const;
  // Throws the missing-input error for path.
  [[noreturn]] void RaiseMissingInput(const std::string& path) const;

  // The distilling step: strPSFile into strPDFFile by the Distiller, the security-capable
  // one when security is asked and the viewer is newer than 5; the eventful one's events
  // become the engine's.
  void DistillingStep(const std::string& strPSFile, const std::string& strPDFFile, const std::string& strJobOptionsFile,
                      bool blnShowWindow, bool blnSpoolJobs, bool blnApplySecurity);
  // The office converters' shared steps: a fresh print-to-file path in the temporary
  // folder (nothing of that name left), and the distilling of that file into the PDF,
  // which replaces an older PDF and removes the print file.
  std::string NewPrintFilePath();
  void DistillPrintFile(const std::string& printFile, const std::string& strPDFFile, const DistillingOptions& options);

  // The default printer: set by name (the Windows 95 family by the printer's attributes,
  // the NT family by the profile), and made savedPrinter again ("" leaves none).
  void SetDefPrinter(std::string strPrinter);
  void restoreDefaultPrinter(const std::string& savedPrinter);

  // Starts the keystroke helper for the Distiller printer's save dialog, and for its
  // security dialog when a caption is given, in a print session of this job's own.
  void LaunchKeystrokeHelper(const std::string& strPDFFile, const std::string& strSaveWindowCaption,
                             const std::string* strSecurityWindowCaption);
  // Waits, bounded, until path exists with content that no longer changes.
  void FileSettleWait(const std::string& path);
  // As above, and ends early when printingEnded() gives a reason while no file is there:
  // the printing process has ended without writing it; the reason becomes the error.
  void FileSettleWait(const std::string& path, const std::function<std::optional<std::string>()>& printingEnded);
  void CloseDocumentWindow(const std::string& strPDFFile);
  bool CloseAcrobat(bool blnWaitUntilClosed = true, std::int16_t intTimeout = 10);
  bool IsAcrobatHidden();

  // A stem for a temporary file that names nothing in the temporary folder yet.
  std::string GetRandomStem();
  std::string GetSpecialFolderPath(std::int32_t& folder);
  // A helper program (the keystroke helper, the text printer): the one in the system
  // folder, else the one beside this program; the path may name no file.
  std::string HelperProgramPath(const std::string& name);

  // The outside components, made through the factories the engine was given; each raises
  // an engine error naming the component when it is not available.
  std::unique_ptr<AcroPDDoc> CreateAcroPDDoc();
  std::unique_ptr<AcroAVDoc> CreateAcroAVDoc();
  std::unique_ptr<AcroApp> CreateAcroApp();
  std::unique_ptr<DistillerObject> CreateDistiller();
  std::unique_ptr<DistillerObject> CreateSecureDistiller();
  std::unique_ptr<WordApplication> CreateWordApplication();
  std::unique_ptr<ExcelApplication> CreateExcelApplication();
  std::unique_ptr<PowerPointApplication> CreatePowerPointApplication();
  std::unique_ptr<PublisherApplication> CreatePublisherApplication();
  std::unique_ptr<VisioApplication> CreateVisioApplication();
  std::unique_ptr<AutoCADApplication> CreateAutoCADApplication();
  std::unique_ptr<CrystalReportsApplication> CreateCrystalReportsApplication();
  const StandInFactories& StandIns() const { return standIns_; }

  // Set exactly while the eventful Distiller's job runs.
  DistillerObject* objAdobeDistiller = nullptr;

 private:
  void RaiseEvent(void (CreatePDFEvents::*event)(std::string&, std::string&), std::string a, std::string b);
  void RaiseLog(std::string message);
  void RaisePercent(std::int32_t percent);
  void RaisePage(std::int32_t page);

  std::string m_PrinterName;
  std::string m_AcrobatVersion;
  std::string m_TempFilePath;
  CreatePDFEvents* events_ = nullptr;
  StandInFactories standIns_;
  TextRecognition recognition_;
};

}  // namespace vd
