#include "RecordingEngine.h"

#include <sstream>

#include "server/PathNames.h"
#include "support/ContentChecks.h"

namespace vd::test {
namespace {

// One recorded argument: texts quoted, booleans true/false, an omitted sheet "omitted".
std::string arg(const std::string& name, const std::string& value) { return name + "=\"" + value + "\""; }
std::string arg(const std::string& name, bool value) { return name + "=" + (value ? "true" : "false"); }
template <class Number>
std::string arg(const std::string& name, Number value) {
  std::ostringstream text;
  text << name << "=" << value;
  return text.str();
}
std::string arg(const std::string& name, const SheetRef& value) {
  if (!value) return name + "=omitted";
  if (const auto* index = std::get_if<std::int32_t>(&*value)) return arg(name, *index);
  return arg(name, std::get<std::string>(*value));
}

// The argument under its own name; an option field under the field's name.
#define VD_ARG(parameter) arg(#parameter, parameter)
#define VD_OPT(field) arg(#field, options.field)

std::vector<std::string> withDistilling(std::vector<std::string> arguments, const DistillingOptions& options) {
  for (std::string item : {VD_OPT(strDistiller), VD_OPT(blnShowWindow), VD_OPT(blnSpoolJobs),
                           VD_OPT(strJobOptionsFile), VD_OPT(blnApplySecurity)}) {
    arguments.push_back(std::move(item));
  }
  return arguments;
}

}  // namespace

std::string EngineCall::out() const {
  if (arguments.empty()) return {};
  const std::string& first = arguments.front();
  const auto start = first.find("=\"");
  return start == std::string::npos ? std::string() : first.substr(start + 2, first.size() - start - 3);
}

// Neither the registry nor any stand-in: every operation the server calls is overridden.
RecordingEngine::RecordingEngine(EngineScript& script)
    : CreatePDF(EngineDetection{}, StandInFactories{}), script_(script) {
  ++script_.enginesCreated;
  ++script_.enginesAlive;
}

RecordingEngine::~RecordingEngine() {
  --script_.enginesAlive;
  script_.tempFilePaths.push_back(TempFilePath());
}

void RecordingEngine::perform(const std::string& operation, const std::string& out, const std::string& in,
                              std::vector<std::string> arguments) {
  script_.calls.push_back(EngineCall{operation, std::move(arguments)});
  if (script_.duringCall) script_.duringCall(script_.calls.back());
  const std::string ext = GetExtension(in.substr(in.find_last_of('/') + 1));
  const auto rule = script_.outcomeByExtension.find(ext);
  const EngineOutcome outcome = rule == script_.outcomeByExtension.end() ? EngineOutcome::WritePdf : rule->second;
  if (outcome == EngineOutcome::Raise) throw EngineError(operation + " could not convert " + in + ".");
  if (outcome == EngineOutcome::WritePdf) {
    try {
      MakeTextPdf(out, {"Converted " + in.substr(in.find_last_of('/') + 1)});
    } catch (const std::exception&) {
      throw EngineError("File " + out + " cannot be written.");
    }
  }
}

void RecordingEngine::CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles) {
  std::vector<std::string> arguments{VD_ARG(strPDFFile)};
  for (const std::string& item : varPDFFiles.items) arguments.push_back(arg("varPDFFiles", item));
  perform("CreatePDFfromMultiPDF", strPDFFile, strPDFFile, std::move(arguments));
}

void RecordingEngine::CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                                             const ImageInfoOptions& options) {
  perform("CreatePDFfromImageFile", strPDFFile, strImagefile,
          {VD_ARG(strPDFFile), VD_ARG(strImagefile), VD_OPT(strTitle), VD_OPT(strAuthor), VD_OPT(strSubject),
           VD_OPT(strKeywords)});
}

void RecordingEngine::CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook,
                                         ExcelOptions& options) {
  perform("CreatePDFfromExcel", strPDFFile, strExcelWorkbook,
          withDistilling({VD_ARG(strPDFFile), VD_ARG(strExcelWorkbook), VD_OPT(varExcelWorksheet), VD_OPT(strRange),
                          VD_OPT(strPassword), VD_OPT(strWriteResPassword), VD_OPT(blnUseGrid), VD_OPT(blnLandscape),
                          VD_OPT(strHeader), VD_OPT(lngHeaderAlignment), VD_OPT(strFooter),
                          VD_OPT(lngFooterAlignment), VD_OPT(dblTopMargin), VD_OPT(dblLeftMargin),
                          VD_OPT(dblRightMargin), VD_OPT(dblBottomMargin), VD_OPT(dblHeaderMargin),
                          VD_OPT(dblFooterMargin), VD_OPT(lngFirstPageNumber)},
                         options));
}

void RecordingEngine::CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile,
                                         VisioOptions& options) {
  perform("CreatePDFfromVisio", strPDFFile, strVisioFile,
          {VD_ARG(strPDFFile), VD_ARG(strVisioFile), VD_OPT(strDistiller), VD_OPT(blnCloseAcrobat),
           VD_OPT(strSaveWindowCaption), VD_OPT(strSecurityWindowCaption)});
}

void RecordingEngine::CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument,
                                        WordOptions& options) {
  perform("CreatePDFfromWord", strPDFFile, strWordDocument,
          withDistilling({VD_ARG(strPDFFile), VD_ARG(strWordDocument), VD_OPT(strPassword), VD_OPT(strWritePassword),
                          VD_OPT(strPages), VD_OPT(blnLandscape), VD_OPT(blnPageNumberInFooter),
                          VD_OPT(blnPageNumberInHeader), VD_OPT(lngPageNumberAlignment), VD_OPT(blnFirstPage)},
                         options));
}

void RecordingEngine::CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile,
                                           AutoCADOptions& options) {
  perform("CreatePDFfromAutoCAD", strPDFFile, strDWGFile,
          {VD_ARG(strPDFFile), VD_ARG(strDWGFile), VD_OPT(varLayout), VD_OPT(strPDFWriter), VD_OPT(blnCloseAcrobat),
           VD_OPT(strSaveWindowCaption)});
}

void RecordingEngine::CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                                 CrystalReportOptions& options) {
  perform("CreatePDFfromCrystalReport", strPDFFile, strCrystalReport,
          {VD_ARG(strPDFFile), VD_ARG(strCrystalReport), VD_OPT(strDistiller), VD_OPT(blnCloseAcrobat),
           VD_OPT(strSaveWindowCaption), VD_OPT(lngStartPage), VD_OPT(lngEndPage)});
}

void RecordingEngine::CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile,
                                             TextFileOptions& options) {
  perform("CreatePDFfromTextFile3", strPDFFile, strTextFile,
          {VD_ARG(strPDFFile), VD_ARG(strTextFile), VD_OPT(strDistiller), VD_OPT(blnCloseAcrobat),
           VD_OPT(strSaveWindowCaption), VD_OPT(strSecurityWindowCaption)});
}

void RecordingEngine::CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                                              PowerPointOptions& options) {
  perform("CreatePDFfromPowerPoint", strPDFFile, strPPDocument,
          withDistilling({VD_ARG(strPDFFile), VD_ARG(strPPDocument), VD_OPT(lngStartSlide), VD_OPT(lngEndSlide),
                          VD_OPT(blnHorizontalOrientation)},
                         options));
}

void RecordingEngine::CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile,
                                       DistillingOptions& options) {
  perform("CreatePDFfromPub", strPDFFile, strPubFile, withDistilling({VD_ARG(strPDFFile), VD_ARG(strPubFile)}, options));
}

void RecordingEngine::CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile,
                                      DistillingOptions& options) {
  perform("CreatePDFfromPS", strPDFFile, strPSFile, withDistilling({VD_ARG(strPDFFile), VD_ARG(strPSFile)}, options));
}

EngineFactory RecordingEngineFactory(EngineScript& script) {
  return [&script] { return std::make_unique<RecordingEngine>(script); };
}

}  // namespace vd::test
