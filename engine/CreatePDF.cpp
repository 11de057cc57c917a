#include "engine/CreatePDF.h"

#include <memory>
#include <utility>

#include "common/IgnoringErrors.h"
#include "engine/NotAvailable.h"
#include "engine/StandardConverters.h"
#include "outside/AcrobatInterface.h"

namespace vd {

CreatePDF::CreatePDF(StandInFactories standIns) : CreatePDF(EngineDetection::FromRegistry(), std::move(standIns)) {}

CreatePDF::CreatePDF(EngineDetection detected, StandInFactories standIns)
    : CreatePDF(std::move(detected), std::move(standIns), StandardConverters()) {}

CreatePDF::CreatePDF(EngineDetection detected, StandInFactories standIns, ConverterRegistry converters)
    : engine_(std::move(detected), std::move(standIns)), converters_(std::move(converters)) {}

CreatePDF::~CreatePDF() = default;

Converter& CreatePDF::converterNamed(const char* operation) const {
  Converter* converter = converters_.named(operation);
  if (converter == nullptr) RaiseNotAvailable(operation);
  return *converter;
}

template <class Options>
void CreatePDF::run(const char* operation, const std::string& out, const std::string& in, Options& options) {
  Converter& converter = converterNamed(operation);
  ConversionCall call{out, in, options};
  // The caller sees its arguments as the operation left them, whether it failed or not.
  const auto writeBack = [&] {
    if (const Options* changed = std::get_if<Options>(&call.options)) options = *changed;
  };
  try {
    converter.convert(engine_, call);
  } catch (...) {
    writeBack();
    throw;
  }
  writeBack();
}

void CreatePDF::convertFile(const std::string& out, const std::string& in, const std::string& ext, bool security) {
  Converter* converter = converters_.forExtension(ext);
  if (converter == nullptr) throw EngineError("No converter takes files of the extension \"" + ext + "\".");
  ConversionCall call{out, in, converter->fixedOptions(security)};
  converter->convert(engine_, call);
}

void CreatePDF::CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles) {
  PathArray list = varPDFFiles;
  run("CreatePDFfromMultiPDF", strPDFFile, "", list);
}
void CreatePDF::CreatePDFfromMultiPDF2(const std::string& strPDFFile, const PathArray& varPDFFiles) {
  PathArray list = varPDFFiles;
  run("CreatePDFfromMultiPDF2", strPDFFile, "", list);
}
void CreatePDF::CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                                       const ImageInfoOptions& options) {
  ImageInfoOptions given = options;
  run("CreatePDFfromImageFile", strPDFFile, strImagefile, given);
}
void CreatePDF::CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook,
                                   ExcelOptions& options) {
  run("CreatePDFfromExcel", strPDFFile, strExcelWorkbook, options);
}
void CreatePDF::CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile,
                                   VisioOptions& options) {
  run("CreatePDFfromVisio", strPDFFile, strVisioFile, options);
}
void CreatePDF::CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument,
                                  WordOptions& options) {
  run("CreatePDFfromWord", strPDFFile, strWordDocument, options);
}
void CreatePDF::CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile,
                                     AutoCADOptions& options) {
  run("CreatePDFfromAutoCAD", strPDFFile, strDWGFile, options);
}
void CreatePDF::CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                           CrystalReportOptions& options) {
  run("CreatePDFfromCrystalReport", strPDFFile, strCrystalReport, options);
}
void CreatePDF::CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile,
                                       TextFileOptions& options) {
  run("CreatePDFfromTextFile3", strPDFFile, strTextFile, options);
}
void CreatePDF::CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                                        PowerPointOptions& options) {
  run("CreatePDFfromPowerPoint", strPDFFile, strPPDocument, options);
}
void CreatePDF::CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile,
                                 DistillingOptions& options) {
  run("CreatePDFfromPub", strPDFFile, strPubFile, options);
}
void CreatePDF::CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile,
                                DistillingOptions& options) {
  run("CreatePDFfromPS", strPDFFile, strPSFile, options);
}

std::string CreatePDF::AcrobatVersion() { return engine_.AcrobatVersion(); }
std::string CreatePDF::PrinterName() { return engine_.PrinterName(); }
std::string CreatePDF::TempFilePath() const { return engine_.TempFilePath(); }
void CreatePDF::TempFilePath(std::string strPath) { engine_.TempFilePath(std::move(strPath)); }
void CreatePDF::SetDefPrinter(std::string strPrinter) { engine_.SetDefPrinter(std::move(strPrinter)); }
bool CreatePDF::CloseAcrobat(bool blnWaitUntilClosed, std::int16_t intTimeout) {
  return engine_.CloseAcrobat(blnWaitUntilClosed, intTimeout);
}
bool CreatePDF::IsAcrobatHidden() { return engine_.IsAcrobatHidden(); }

void CreatePDF::CreatePSfromPDF(const std::string& strPDF, const std::string& strPS) {
  // Exporting reports nothing, whatever happens: its callers look for the PostScript
  // file itself.
  ignoringErrors([&] {
    std::unique_ptr<AcroPDDoc> document = engine_.CreateAcroPDDoc();
    if (document->Open(strPDF)) {
      std::unique_ptr<AcroJSObject> script = document->GetJSObject();
      script->SaveAs(strPS, "com.adobe.acrobat.ps");
      document->Close();
    }
  });
}

std::string CreatePDF::AcrobatViewerVersion(AcroPDDoc& objDoc) {
  return objDoc.GetJSObject()->AppValue("viewerVersion");
}
std::string CreatePDF::AcrobatViewerType(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("viewerType"); }
std::string CreatePDF::AcrobatViewerVariation(AcroPDDoc& objDoc) {
  return objDoc.GetJSObject()->AppValue("viewerVariation");
}
std::string CreatePDF::AcrobatLanguage(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("language"); }
std::string CreatePDF::AcrobatPlatform(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("platform"); }
std::string CreatePDF::AcrobatFormsVersion(AcroPDDoc& objDoc) { return objDoc.GetJSObject()->AppValue("formsVersion"); }

}  // namespace vd
