#include "RecordingEngine.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "server/PathNames.h"

namespace vd::test {
namespace {

std::string quoted(const std::string& name, const std::string& value) { return name + "=\"" + value + "\""; }
std::string boolean(const std::string& name, bool value) { return name + "=" + (value ? "true" : "false"); }
template <class Number>
std::string number(const std::string& name, Number value) {
  std::ostringstream text;
  text << name << "=" << value;
  return text.str();
}
std::string sheet(const std::string& name, const SheetRef& value) {
  if (!value) return name + "=omitted";
  if (const auto* index = std::get_if<std::int32_t>(&*value)) return number(name, *index);
  return quoted(name, std::get<std::string>(*value));
}

void appendDistilling(std::vector<std::string>& arguments, const DistillingOptions& options) {
  arguments.push_back(quoted("strDistiller", options.strDistiller));
  arguments.push_back(boolean("blnShowWindow", options.blnShowWindow));
  arguments.push_back(boolean("blnSpoolJobs", options.blnSpoolJobs));
  arguments.push_back(quoted("strJobOptionsFile", options.strJobOptionsFile));
  arguments.push_back(boolean("blnApplySecurity", options.blnApplySecurity));
}

std::string escapePdfText(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '(' || c == ')' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::string EngineCall::out() const {
  if (arguments.empty()) return {};
  const std::string& first = arguments.front();
  const auto start = first.find("=\"");
  return start == std::string::npos ? std::string() : first.substr(start + 2, first.size() - start - 3);
}

std::string MinimalPdf(const std::string& line) {
  const std::string content = "BT /F1 12 Tf 72 720 Td (" + escapePdfText(line) + ") Tj ET";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> "
      "/Contents 5 0 R >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

RecordingEngine::RecordingEngine(EngineScript& script) : script_(script) {
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
    std::ofstream pdf(out, std::ios::binary | std::ios::trunc);
    if (!pdf) throw EngineError("File " + out + " cannot be written.");
    pdf << MinimalPdf("Converted " + in.substr(in.find_last_of('/') + 1));
  }
}

void RecordingEngine::CreatePDFfromMultiPDF(const std::string& strPDFFile, const PathArray& varPDFFiles) {
  std::vector<std::string> arguments{quoted("strPDFFile", strPDFFile)};
  for (const std::string& item : varPDFFiles.items) arguments.push_back(quoted("varPDFFiles", item));
  perform("CreatePDFfromMultiPDF", strPDFFile, strPDFFile, std::move(arguments));
}

void RecordingEngine::CreatePDFfromImageFile(const std::string& strPDFFile, const std::string& strImagefile,
                                             const ImageInfoOptions& options) {
  perform("CreatePDFfromImageFile", strPDFFile, strImagefile,
          {quoted("strPDFFile", strPDFFile), quoted("strImagefile", strImagefile), quoted("strTitle", options.strTitle),
           quoted("strAuthor", options.strAuthor), quoted("strSubject", options.strSubject),
           quoted("strKeywords", options.strKeywords)});
}

void RecordingEngine::CreatePDFfromExcel(const std::string& strPDFFile, const std::string& strExcelWorkbook,
                                         ExcelOptions& options) {
  std::vector<std::string> arguments{
      quoted("strPDFFile", strPDFFile),
      quoted("strExcelWorkbook", strExcelWorkbook),
      sheet("varExcelWorksheet", options.varExcelWorksheet),
      quoted("strRange", options.strRange),
      quoted("strPassword", options.strPassword),
      quoted("strWriteResPassword", options.strWriteResPassword),
      boolean("blnUseGrid", options.blnUseGrid),
      boolean("blnLandscape", options.blnLandscape),
      quoted("strHeader", options.strHeader),
      number("lngHeaderAlignment", options.lngHeaderAlignment),
      quoted("strFooter", options.strFooter),
      number("lngFooterAlignment", options.lngFooterAlignment),
      number("dblTopMargin", options.dblTopMargin),
      number("dblLeftMargin", options.dblLeftMargin),
      number("dblRightMargin", options.dblRightMargin),
      number("dblBottomMargin", options.dblBottomMargin),
      number("dblHeaderMargin", options.dblHeaderMargin),
      number("dblFooterMargin", options.dblFooterMargin),
      number("lngFirstPageNumber", options.lngFirstPageNumber)};
  appendDistilling(arguments, options);
  perform("CreatePDFfromExcel", strPDFFile, strExcelWorkbook, std::move(arguments));
}

void RecordingEngine::CreatePDFfromVisio(const std::string& strPDFFile, const std::string& strVisioFile,
                                         VisioOptions& options) {
  perform("CreatePDFfromVisio", strPDFFile, strVisioFile,
          {quoted("strPDFFile", strPDFFile), quoted("strVisioFile", strVisioFile),
           quoted("strDistiller", options.strDistiller), boolean("blnCloseAcrobat", options.blnCloseAcrobat),
           quoted("strSaveWindowCaption", options.strSaveWindowCaption),
           quoted("strSecurityWindowCaption", options.strSecurityWindowCaption)});
}

void RecordingEngine::CreatePDFfromWord(const std::string& strPDFFile, const std::string& strWordDocument,
                                        WordOptions& options) {
  std::vector<std::string> arguments{quoted("strPDFFile", strPDFFile),
                                     quoted("strWordDocument", strWordDocument),
                                     quoted("strPassword", options.strPassword),
                                     quoted("strWritePassword", options.strWritePassword),
                                     quoted("strPages", options.strPages),
                                     boolean("blnLandscape", options.blnLandscape),
                                     boolean("blnPageNumberInFooter", options.blnPageNumberInFooter),
                                     boolean("blnPageNumberInHeader", options.blnPageNumberInHeader),
                                     number("lngPageNumberAlignment", options.lngPageNumberAlignment),
                                     boolean("blnFirstPage", options.blnFirstPage)};
  appendDistilling(arguments, options);
  perform("CreatePDFfromWord", strPDFFile, strWordDocument, std::move(arguments));
}

void RecordingEngine::CreatePDFfromAutoCAD(const std::string& strPDFFile, const std::string& strDWGFile,
                                           AutoCADOptions& options) {
  perform("CreatePDFfromAutoCAD", strPDFFile, strDWGFile,
          {quoted("strPDFFile", strPDFFile), quoted("strDWGFile", strDWGFile), sheet("varLayout", options.varLayout),
           quoted("strPDFWriter", options.strPDFWriter), boolean("blnCloseAcrobat", options.blnCloseAcrobat),
           quoted("strSaveWindowCaption", options.strSaveWindowCaption)});
}

void RecordingEngine::CreatePDFfromCrystalReport(const std::string& strPDFFile, const std::string& strCrystalReport,
                                                 CrystalReportOptions& options) {
  perform("CreatePDFfromCrystalReport", strPDFFile, strCrystalReport,
          {quoted("strPDFFile", strPDFFile), quoted("strCrystalReport", strCrystalReport),
           quoted("strDistiller", options.strDistiller), boolean("blnCloseAcrobat", options.blnCloseAcrobat),
           quoted("strSaveWindowCaption", options.strSaveWindowCaption), number("lngStartPage", options.lngStartPage),
           number("lngEndPage", options.lngEndPage)});
}

void RecordingEngine::CreatePDFfromTextFile3(const std::string& strPDFFile, const std::string& strTextFile,
                                             TextFileOptions& options) {
  perform("CreatePDFfromTextFile3", strPDFFile, strTextFile,
          {quoted("strPDFFile", strPDFFile), quoted("strTextFile", strTextFile),
           quoted("strDistiller", options.strDistiller), boolean("blnCloseAcrobat", options.blnCloseAcrobat),
           quoted("strSaveWindowCaption", options.strSaveWindowCaption),
           quoted("strSecurityWindowCaption", options.strSecurityWindowCaption)});
}

void RecordingEngine::CreatePDFfromPowerPoint(const std::string& strPDFFile, const std::string& strPPDocument,
                                              PowerPointOptions& options) {
  std::vector<std::string> arguments{quoted("strPDFFile", strPDFFile), quoted("strPPDocument", strPPDocument),
                                     number("lngStartSlide", options.lngStartSlide),
                                     number("lngEndSlide", options.lngEndSlide),
                                     boolean("blnHorizontalOrientation", options.blnHorizontalOrientation)};
  appendDistilling(arguments, options);
  perform("CreatePDFfromPowerPoint", strPDFFile, strPPDocument, std::move(arguments));
}

void RecordingEngine::CreatePDFfromPub(const std::string& strPDFFile, const std::string& strPubFile,
                                       DistillingOptions& options) {
  std::vector<std::string> arguments{quoted("strPDFFile", strPDFFile), quoted("strPubFile", strPubFile)};
  appendDistilling(arguments, options);
  perform("CreatePDFfromPub", strPDFFile, strPubFile, std::move(arguments));
}

void RecordingEngine::CreatePDFfromPS(const std::string& strPDFFile, const std::string& strPSFile,
                                      DistillingOptions& options) {
  std::vector<std::string> arguments{quoted("strPDFFile", strPDFFile), quoted("strPSFile", strPSFile)};
  appendDistilling(arguments, options);
  perform("CreatePDFfromPS", strPDFFile, strPSFile, std::move(arguments));
}

EngineFactory RecordingEngineFactory(EngineScript& script) {
  return [&script] { return std::make_unique<RecordingEngine>(script); };
}

}  // namespace vd::test
