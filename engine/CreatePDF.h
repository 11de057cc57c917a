// The conversion engine's public interface: the operations in their declaration order,
// with their parameters, results and events. Every conversion takes the output PDF path
// first and the input path second, returns nothing, and reports every failure by
// throwing EngineError. Optional parameters are gathered in one options structure per
// operation whose members carry the parameters' names and defaults
// (converters/OperationOptions.h); an operation that changes an argument (a blank
// strDistiller receives the engine's printer name) writes it back into that structure.
//
// The class is a thin facade: each conversion is carried out by the converter registered
// under the operation's name (converters/, registered in engine/StandardConverters.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/EngineError.h"
#include "converters/ConverterRegistry.h"
#include "converters/CreatePDFEvents.h"
#include "converters/EngineObject.h"
#include "converters/OperationOptions.h"
#include "outside/StandInFactories.h"

namespace vd {

class CreatePDF {
 public:
  // Runs the detection of the Acrobat version and the Distiller printer.
  explicit CreatePDF(StandInFactories standIns = RealStandIns());
  // Takes the detection as given and reads no registry.
  explicit CreatePDF(EngineDetection detected, StandInFactories standIns = RealStandIns());
  // With the given converters in place of the standard ones (a test's recording doubles).
  CreatePDF(EngineDetection detected, StandInFactories standIns, ConverterRegistry converters);
  // Virtual: clients and tests derive from the engine and hold it by its base.
  virtual ~CreatePDF();
  CreatePDF(const CreatePDF&) = delete;
  CreatePDF& operator=(const CreatePDF&) = delete;

  // Where the engine's events go; nullptr (the default) drops them.
  void setEvents(CreatePDFEvents* events) { engine_.setEvents(events); }
  // How scanned pages get a text layer in the conversions from now on (none by default):
  // one engine, with its warm workers, serves files of every recognition, each converted
  // with its own (ConvertFile sets it for every file).
  void setTextRecognition(TextRecognition recognition) { engine_.setTextRecognition(std::move(recognition)); }

  void SetDefPrinter(std::string strPrinter);
  void CreatePSfromPDF(const std::string& strPDF, const std::string& strPS);
  std::string AcrobatViewerVersion(AcroPDDoc& objDoc);
  std::string AcrobatViewerType(AcroPDDoc& objDoc);
  std::string AcrobatViewerVariation(AcroPDDoc& objDoc);
  std::string AcrobatLanguage(AcroPDDoc& objDoc);
  std::string AcrobatPlatform(AcroPDDoc& objDoc);
  std::string AcrobatVersion();
  std::string AcrobatFormsVersion(AcroPDDoc& objDoc);
  std::string TempFilePath() const;
  void TempFilePath(std::string strPath);
  std::string PrinterName();
  void CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles);
  void CreatePDFfromMultiPDF2(const std::string& strPDFFile, const PathArray& varPDFFiles);
  void CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                              const ImageInfoOptions& options);
  void CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook, ExcelOptions& options);
  void CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile, VisioOptions& options);
  void CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument, WordOptions& options);
  void CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile, AutoCADOptions& options);
  void CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                  CrystalReportOptions& options);
  void CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile, TextFileOptions& options);
  void CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                               PowerPointOptions& options);
  void CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile, DistillingOptions& options);
  void CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile, DistillingOptions& options);
  bool CloseAcrobat(bool blnWaitUntilClosed = true, std::int16_t intTimeout = 10);
  bool IsAcrobatHidden();

  // Calls with only the two required paths take every default.
  void CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile) {
    CreatePDFfromImageFile(strPDFFile, strImagefile, ImageInfoOptions{});
  }
  void CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile) {
    DistillingOptions options;
    CreatePDFfromPS(strPDFFile, strPSFile, options);
  }

  // The scan cycle's conversion of one file: the converter of ext's row of the dispatch
  // table with the row's fixed argument values, "Use security" as given. Throws as the
  // operations do.
  void convertFile(const std::string& out, const std::string& in, const std::string& ext, bool security);
  // The converters of this engine, in the order of the dispatch table.
  const ConverterRegistry& converters() const { return converters_; }

 private:
  // Runs the converter registered under operation; options written back as it left them.
  template <class Options>
  void run(const char* operation, const std::string& out, const std::string& in, Options& options);
  Converter& converterNamed(const char* operation) const;

  EngineObject engine_;
  ConverterRegistry converters_;
};

}  // namespace vd
