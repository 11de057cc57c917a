// A conversion engine for the server's tests: it records every call with its files and main
// options in call order and, depending on the input's extension, writes a small real PDF
// (one page "Converted <input name>"), writes nothing, or raises an engine error.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "server/EngineFactory.h"
#include "server/PathNames.h"
#include "support/ContentChecks.h"

namespace vd::test {

struct EngineCall {
  std::string operation;
  // "name=value" in call order; texts quoted, booleans true/false, omitted as "omitted".
  std::vector<std::string> arguments;
  // The text of the first argument (the output) and of the second (the input).
  std::string out() const { return text(0); }
  std::string in() const { return text(1); }
  std::string text(std::size_t index) const {
    const std::string argument = index < arguments.size() ? arguments[index] : std::string();
    const auto start = argument.find("=\"");
    return start == std::string::npos ? std::string() : argument.substr(start + 2, argument.size() - start - 3);
  }
};

enum class EngineOutcome { WritePdf, WriteNothing, Raise };

// What every recording engine of one test shares: the calls, the outcome per extension
// and a hook run inside each call (after recording, before the outcome).
struct EngineScript {
  std::vector<EngineCall> calls;
  std::map<std::string, EngineOutcome> outcomeByExtension;  // default: WritePdf
  std::function<void(const EngineCall&)> duringCall;
  int enginesCreated = 0;
  int enginesAlive = 0;
  std::vector<std::string> tempFilePaths;  // every TempFilePath written
};

namespace recorded {

inline std::string arg(const std::string& name, const std::string& value) { return name + "=\"" + value + "\""; }
inline std::string arg(const std::string& name, bool value) { return name + "=" + (value ? "true" : "false"); }
template <class Number>
std::string arg(const std::string& name, Number value) {
  std::ostringstream text;
  text << name << "=" << value;
  return text.str();
}

}  // namespace recorded

// The argument under its own name; an option field under the field's name.
#define VD_ARG(parameter) recorded::arg(#parameter, parameter)
#define VD_OPT(field) recorded::arg(#field, options.field)
#define VD_DISTILLING VD_OPT(strDistiller), VD_OPT(blnShowWindow), VD_OPT(blnSpoolJobs), VD_OPT(strJobOptionsFile), \
                      VD_OPT(blnApplySecurity)

// Neither the registry nor any stand-in: every operation the server calls is overridden.
class RecordingEngine : public CreatePDF {
 public:
  explicit RecordingEngine(EngineScript& script) : CreatePDF(EngineDetection{}, StandInFactories{}), script_(script) {
    ++script_.enginesCreated;
    ++script_.enginesAlive;
  }
  ~RecordingEngine() override {
    --script_.enginesAlive;
    script_.tempFilePaths.push_back(TempFilePath());
  }

  void CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles) override {
    std::vector<std::string> arguments{VD_ARG(strPDFFile)};
    for (const std::string& item : varPDFFiles.items) arguments.push_back(recorded::arg("varPDFFiles", item));
    perform("CreatePDFfromMultiPDF", strPDFFile, strPDFFile, std::move(arguments));
  }
// An operation of the form (output, input, options): records both names and the listed option fields.
#define VD_RECORD(Operation, Input, Options, ...)                                                          \
  void Operation(const std::string& strPDFFile, const std::string& Input, Options& options) override {    \
    perform(#Operation, strPDFFile, Input, {VD_ARG(strPDFFile), VD_ARG(Input), __VA_ARGS__});              \
  }
  VD_RECORD(CreatePDFfromImageFile, strImagefile, const ImageInfoOptions, VD_OPT(strTitle), VD_OPT(strAuthor),
            VD_OPT(strSubject), VD_OPT(strKeywords))
  VD_RECORD(CreatePDFfromExcel, strExcelWorkbook, ExcelOptions, VD_OPT(strRange), VD_DISTILLING)
  VD_RECORD(CreatePDFfromVisio, strVisioFile, VisioOptions, VD_OPT(strDistiller), VD_OPT(blnCloseAcrobat),
            VD_OPT(strSaveWindowCaption), VD_OPT(strSecurityWindowCaption))
  VD_RECORD(CreatePDFfromWord, strWordDocument, WordOptions, VD_OPT(strPages), VD_OPT(blnLandscape), VD_DISTILLING)
  VD_RECORD(CreatePDFfromAutoCAD, strDWGFile, AutoCADOptions, VD_OPT(strPDFWriter), VD_OPT(strSaveWindowCaption))
  VD_RECORD(CreatePDFfromCrystalReport, strCrystalReport, CrystalReportOptions, VD_OPT(strDistiller),
            VD_OPT(blnCloseAcrobat), VD_OPT(strSaveWindowCaption), VD_OPT(lngStartPage), VD_OPT(lngEndPage))
  VD_RECORD(CreatePDFfromTextFile3, strTextFile, TextFileOptions, VD_OPT(strDistiller), VD_OPT(blnCloseAcrobat),
            VD_OPT(strSaveWindowCaption), VD_OPT(strSecurityWindowCaption))
  VD_RECORD(CreatePDFfromPowerPoint, strPPDocument, PowerPointOptions, VD_OPT(lngStartSlide), VD_OPT(lngEndSlide),
            VD_OPT(blnHorizontalOrientation), VD_DISTILLING)
  VD_RECORD(CreatePDFfromPub, strPubFile, DistillingOptions, VD_DISTILLING)
  VD_RECORD(CreatePDFfromPS, strPSFile, DistillingOptions, VD_DISTILLING)

 private:
  void perform(const std::string& operation, const std::string& out, const std::string& in,
               std::vector<std::string> arguments) {
    script_.calls.push_back(EngineCall{operation, std::move(arguments)});
    if (script_.duringCall) script_.duringCall(script_.calls.back());
    const std::string name = in.substr(in.find_last_of('/') + 1);
    const auto rule = script_.outcomeByExtension.find(GetExtension(name));
    const EngineOutcome outcome = rule == script_.outcomeByExtension.end() ? EngineOutcome::WritePdf : rule->second;
    if (outcome == EngineOutcome::Raise) throw EngineError(operation + " could not convert " + in + ".");
    if (outcome == EngineOutcome::WriteNothing) return;
    try {
      MakeTextPdf(out, {"Converted " + name});
    } catch (const std::exception&) {
      throw EngineError("File " + out + " cannot be written.");
    }
  }

  EngineScript& script_;
};

#undef VD_RECORD
#undef VD_DISTILLING
#undef VD_OPT
#undef VD_ARG

// A factory for the server that makes recording engines sharing script.
inline EngineFactory RecordingEngineFactory(EngineScript& script) {
  return [&script](const TextRecognition&) { return std::make_unique<RecordingEngine>(script); };
}

}  // namespace vd::test
