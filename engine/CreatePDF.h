// The conversion engine's public interface: the operations in their declaration order,
// with their parameters, results and events. Every conversion takes the output PDF path
// first and the input path second, returns nothing, and reports every failure by
// throwing EngineError. Optional parameters are gathered in one options structure per
// operation whose members carry the parameters' names and defaults; an operation that
// changes an argument (a blank strDistiller receives the engine's printer name) writes
// it back into that structure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/EngineError.h"
#include "outside/StandInFactories.h"

namespace vd {

// The engine's events. A client derives from this and overrides what it wants; every
// event is raised on the calling thread, inside the running operation.
class CreatePDFEvents {
 public:
  virtual ~CreatePDFEvents() = default;
  virtual void JobStart(std::string& /*strInputPostScript*/, std::string& /*strOutputPDF*/) {}
  virtual void JobDone(std::string& /*strInputPostScript*/, std::string& /*strOutputPDF*/) {}
  virtual void JobFail(std::string& /*strInputPostScript*/, std::string& /*strOutputPDF*/) {}
  virtual void LogMessage(std::string& /*strMessage*/) {}
  virtual void PercentDone(std::int32_t& /*nPercentDone*/) {}
  virtual void PageNumber(std::int32_t& /*nPageNumber*/) {}
};

// A one-dimensional array of paths with its lower bound, as the joining operations
// receive it (a list with lower bound 1 behaves differently from one with 0).
struct PathArray {
  std::int32_t lowerBound = 0;
  std::vector<std::string> items;
  std::int32_t upperBound() const { return lowerBound + static_cast<std::int32_t>(items.size()) - 1; }
};

// A worksheet or layout given by number or by name; nothing when omitted.
using SheetRef = std::optional<std::variant<std::int32_t, std::string>>;

// The five distilling parameters, shared by every converter that distils.
struct DistillingOptions {
  std::string strDistiller;
  bool blnShowWindow = false;
  bool blnSpoolJobs = false;
  std::string strJobOptionsFile;
  bool blnApplySecurity = false;
};

struct ImageInfoOptions {
  std::string strTitle;
  std::string strAuthor;
  std::string strSubject;
  std::string strKeywords;
};

struct ExcelOptions : DistillingOptions {
  SheetRef varExcelWorksheet;
  std::string strRange;
  std::string strPassword;
  std::string strWriteResPassword;
  bool blnUseGrid = false;
  bool blnLandscape = false;
  std::string strHeader;
  std::int32_t lngHeaderAlignment = 1;
  std::string strFooter;
  std::int32_t lngFooterAlignment = 0;
  double dblTopMargin = 0;
  double dblLeftMargin = 0;
  double dblRightMargin = 0;
  double dblBottomMargin = 0;
  double dblHeaderMargin = 0;
  double dblFooterMargin = 0;
  std::int32_t lngFirstPageNumber = 1;
};

struct WordOptions : DistillingOptions {
  std::string strPassword;
  std::string strWritePassword;
  std::string strPages;
  bool blnLandscape = false;
  bool blnPageNumberInFooter = false;
  bool blnPageNumberInHeader = false;
  std::int32_t lngPageNumberAlignment = 1;
  bool blnFirstPage = false;
};

struct PowerPointOptions : DistillingOptions {
  std::int32_t lngStartSlide = -1;
  std::int32_t lngEndSlide = -1;
  bool blnHorizontalOrientation = false;
};

struct PrintDialogOptions {
  std::string strDistiller;
  bool blnCloseAcrobat = false;
  std::string strSaveWindowCaption = "save pdf file as";
};

struct VisioOptions : PrintDialogOptions {
  std::string strSecurityWindowCaption = "adobe pdf - security";
};

struct TextFileOptions : PrintDialogOptions {
  std::string strSecurityWindowCaption = "adobe pdf - security";
};

struct CrystalReportOptions : PrintDialogOptions {
  std::int32_t lngStartPage = 0;
  std::int32_t lngEndPage = 0;
};

struct AutoCADOptions {
  SheetRef varLayout;
  std::string strPDFWriter = "Acrobat PDFWriter";
  bool blnCloseAcrobat = false;
  std::string strSaveWindowCaption = "save pdf file as";
};

// What the engine finds out when it is made: the viewer's version and the name of the
// Distiller's printer.
struct EngineDetection {
  std::string acrobatVersion;
  std::string printerName = "Acrobat Distiller";
  // Reads both from the registry (HKEY_LOCAL_MACHINE), as the engine object always does.
  static EngineDetection FromRegistry();
};

class CreatePDF {
 public:
  // Runs the detection of the Acrobat version and the Distiller printer.
  explicit CreatePDF(StandInFactories standIns = RealStandIns());
  // Takes the detection as given and reads no registry (for test doubles of the engine).
  explicit CreatePDF(EngineDetection detected, StandInFactories standIns = RealStandIns());
  virtual ~CreatePDF();
  CreatePDF(const CreatePDF&) = delete;
  CreatePDF& operator=(const CreatePDF&) = delete;

  // Where the engine's events go; nullptr (the default) drops them.
  void setEvents(CreatePDFEvents* events) { events_ = events; }

  virtual void SetDefPrinter(std::string strPrinter);
  virtual void CreatePSfromPDF(const std::string& strPDF, const std::string& strPS);
  virtual std::string AcrobatViewerVersion(AcroPDDoc& objDoc);
  virtual std::string AcrobatViewerType(AcroPDDoc& objDoc);
  virtual std::string AcrobatViewerVariation(AcroPDDoc& objDoc);
  virtual std::string AcrobatLanguage(AcroPDDoc& objDoc);
  virtual std::string AcrobatPlatform(AcroPDDoc& objDoc);
  virtual std::string AcrobatVersion();
  virtual std::string AcrobatFormsVersion(AcroPDDoc& objDoc);
  std::string TempFilePath() const;
  void TempFilePath(std::string strPath);
  virtual std::string PrinterName();
  virtual void CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles);
  virtual void CreatePDFfromMultiPDF2(const std::string& strPDFFile, const PathArray& varPDFFiles);
  virtual void CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                                      const ImageInfoOptions& options);
  virtual void CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook,
                                  ExcelOptions& options);
  virtual void CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile,
                                  VisioOptions& options);
  virtual void CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument,
                                 WordOptions& options);
  virtual void CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile,
                                    AutoCADOptions& options);
  virtual void CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                          CrystalReportOptions& options);
  virtual void CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile,
                                      TextFileOptions& options);
  virtual void CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                                       PowerPointOptions& options);
  virtual void CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile,
                                DistillingOptions& options);
  virtual void CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile,
                               DistillingOptions& options);
  virtual bool CloseAcrobat(bool blnWaitUntilClosed = true, std::int16_t intTimeout = 10);
  virtual bool IsAcrobatHidden();

  // Calls with only the two required paths take every default.
  void CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile) {
    CreatePDFfromImageFile(strPDFFile, strImagefile, ImageInfoOptions{});
  }
  void CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile) {
    DistillingOptions options;
    CreatePDFfromPS(strPDFFile, strPSFile, options);
  }

 protected:
  // Private operations shared by the converters.
  bool FileExists(const std::string& path) const;
  // Throws the missing-input error for path.
  [[noreturn]] void RaiseMissingInput(const std::string& path) const;
  void RaiseEvent(void (CreatePDFEvents::*event)(std::string&, std::string&), std::string a, std::string b);
  void RaiseLog(std::string message);
  void RaisePercent(std::int32_t percent);
  void RaisePage(std::int32_t page);

  void DistillingStep(const std::string& strPSFile, const std::string& strPDFFile,
                      const std::string& strJobOptionsFile, bool blnShowWindow, bool blnSpoolJobs,
                      bool blnApplySecurity);
  void LaunchKeystrokeHelper(const std::string& strPDFFile, const std::string& strSaveWindowCaption,
                             const std::string* strSecurityWindowCaption);
  void FileSettleWait(const std::string& path);
  // As above, and ends early when printingEnded() gives a reason while no file is there:
  // the printing process has ended without writing it; the reason becomes the error.
  void FileSettleWait(const std::string& path, const std::function<std::optional<std::string>()>& printingEnded);
  void CloseDocumentWindow(const std::string& strPDFFile);
  // Makes savedPrinter the default again; "" (there was none) leaves no default printer.
  void restoreDefaultPrinter(const std::string& savedPrinter);
  std::string GetRandomStem();
  // The office converters' shared steps: a fresh print-to-file path in the temporary
  // folder (nothing of that name left), and the distilling of that file into the PDF,
  // which replaces an older PDF and removes the print file.
  std::string NewPrintFilePath();
  void DistillPrintFile(const std::string& printFile, const std::string& strPDFFile,
                        const DistillingOptions& options);
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

  std::string m_PrinterName = "Acrobat Distiller";
  std::string m_AcrobatVersion;
  std::string m_TempFilePath;
  DistillerObject* objAdobeDistiller = nullptr;

 private:
  CreatePDFEvents* events_ = nullptr;
  StandInFactories standIns_;
};

}  // namespace vd
