// A conversion engine for the server's tests: it records every call with its argument
// values in call order and, depending on the input's extension, writes a small real PDF
// (one page "Converted <input name>"), writes nothing, or raises an engine error.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "server/EngineFactory.h"

namespace vd::test {

struct EngineCall {
  std::string operation;
  // "name=value" in call order; texts quoted, booleans true/false, omitted as "omitted".
  std::vector<std::string> arguments;
  std::string out() const;  // the value of the first argument
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

class RecordingEngine : public CreatePDF {
 public:
  explicit RecordingEngine(EngineScript& script);
  ~RecordingEngine() override;

  void CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles) override;
  void CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                              const ImageInfoOptions& options) override;
  void CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook,
                          ExcelOptions& options) override;
  void CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile, VisioOptions& options) override;
  void CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument,
                         WordOptions& options) override;
  void CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile,
                            AutoCADOptions& options) override;
  void CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                  CrystalReportOptions& options) override;
  void CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile,
                              TextFileOptions& options) override;
  void CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                               PowerPointOptions& options) override;
  void CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile,
                        DistillingOptions& options) override;
  void CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile, DistillingOptions& options) override;

 private:
  void perform(const std::string& operation, const std::string& out, const std::string& in,
               std::vector<std::string> arguments);

  EngineScript& script_;
};

// A factory for the server that makes recording engines sharing script.
EngineFactory RecordingEngineFactory(EngineScript& script);

}  // namespace vd::test
