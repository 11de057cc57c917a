#include "server/Dispatch.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "engine/CreatePDF.h"
#include "server/DistillerLogWatch.h"

namespace vd {
namespace {

DistillingOptions plainDistilling(bool applySecurity) {
  DistillingOptions options;
  options.strDistiller = "";
  options.blnShowWindow = false;
  options.blnSpoolJobs = false;
  options.strJobOptionsFile = "";
  options.blnApplySecurity = applySecurity;
  return options;
}

template <class Options>
void setDistilling(Options& options, bool applySecurity) {
  static_cast<DistillingOptions&>(options) = plainDistilling(applySecurity);
}

void toPostScript(CreatePDF& engine, const DispatchCall& call) {
  // Distiller security is never asked for PostScript input, whatever the option says.
  DistillingOptions options = plainDistilling(false);
  engine.CreatePDFfromPS(call.out, call.in, options);
}

void toExcel(CreatePDF& engine, const DispatchCall& call) {
  ExcelOptions options;
  options.varExcelWorksheet.reset();
  options.strRange = "";
  options.strPassword = "";
  options.strWriteResPassword = "";
  options.blnUseGrid = false;
  options.blnLandscape = false;
  options.strHeader = "";
  options.lngHeaderAlignment = 1;
  options.strFooter = "";
  options.lngFooterAlignment = 0;
  options.dblTopMargin = 0;
  options.dblLeftMargin = 0;
  options.dblRightMargin = 0;
  options.dblBottomMargin = 0;
  options.dblHeaderMargin = 0;
  options.dblFooterMargin = 0;
  options.lngFirstPageNumber = 1;
  setDistilling(options, call.security);
  engine.CreatePDFfromExcel(call.out, call.in, options);
}

void toPowerPoint(CreatePDF& engine, const DispatchCall& call) {
  PowerPointOptions options;
  options.lngStartSlide = -1;
  options.lngEndSlide = -1;
  options.blnHorizontalOrientation = false;
  setDistilling(options, call.security);
  engine.CreatePDFfromPowerPoint(call.out, call.in, options);
}

void toWord(CreatePDF& engine, const DispatchCall& call) {
  WordOptions options;
  options.strPassword = "";
  options.strWritePassword = "";
  options.strPages = "";
  options.blnLandscape = false;
  options.blnPageNumberInFooter = false;
  options.blnPageNumberInHeader = false;
  options.lngPageNumberAlignment = 1;
  options.blnFirstPage = false;
  setDistilling(options, call.security);
  engine.CreatePDFfromWord(call.out, call.in, options);
}

void toPublisher(CreatePDF& engine, const DispatchCall& call) {
  DistillingOptions options = plainDistilling(call.security);
  engine.CreatePDFfromPub(call.out, call.in, options);
}

void toAutoCAD(CreatePDF& engine, const DispatchCall& call) {
  AutoCADOptions options;
  options.varLayout.reset();
  options.strPDFWriter = "Acrobat PDFWriter";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  engine.CreatePDFfromAutoCAD(call.out, call.in, options);
}

void toTextFile(CreatePDF& engine, const DispatchCall& call) {
  TextFileOptions options;
  options.strDistiller = "";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  options.strSecurityWindowCaption = "adobe pdf - security";
  engine.CreatePDFfromTextFile3(call.out, call.in, options);
}

void toCrystalReport(CreatePDF& engine, const DispatchCall& call) {
  CrystalReportOptions options;
  options.strDistiller = "";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  options.lngStartPage = 0;
  options.lngEndPage = 0;
  engine.CreatePDFfromCrystalReport(call.out, call.in, options);
}

void toVisio(CreatePDF& engine, const DispatchCall& call) {
  VisioOptions options;
  options.strDistiller = "";
  options.blnCloseAcrobat = false;
  options.strSaveWindowCaption = "save pdf file as";
  options.strSecurityWindowCaption = "adobe pdf - security";
  engine.CreatePDFfromVisio(call.out, call.in, options);
}

void toImage(CreatePDF& engine, const DispatchCall& call) {
  ImageInfoOptions options;
  options.strTitle = "";
  options.strAuthor = "";
  options.strSubject = "";
  options.strKeywords = "";
  engine.CreatePDFfromImageFile(call.out, call.in, options);
}

using Conversion = void (*)(CreatePDF& engine, const DispatchCall& call);

// One row of the table: the extensions it takes, and the engine operation it calls with
// the row's fixed argument values.
struct DispatchRow {
  std::vector<std::string_view> extensions;
  Conversion convert;
  // How counts and reports name the converter.
  std::string_view converter;
};

const std::vector<DispatchRow>& dispatchTable() {
  static const std::vector<DispatchRow> rows = {
      // EPS is PostScript too: the Distiller crops its page to the bounding box.
      {{"ps", "eps"}, toPostScript, "postscript"},
      // Today's office formats join their application's row: as text they would come out
      // as a PDF of the bytes of a zip archive, and the document would be deleted.
      {{"xls", "xlsx", "xlsm", "ods", "fods"}, toExcel, "excel"},
      {{"ppt", "pptx", "pptm", "odp", "fodp"}, toPowerPoint, "powerpoint"},
      {{"doc", "rtf", "htm", "html", "docx", "docm", "dotx", "odt", "fodt"}, toWord, "word"},
      {{"pub"}, toPublisher, "publisher"},
      {{"dwg"}, toAutoCAD, "autocad"},
      {{"txt", "bat"}, toTextFile, "text"},
      {{"rpt"}, toCrystalReport, "crystalreport"},
      {{"vsd", "vsdx"}, toVisio, "visio"},
      {{"jpg", "jpeg", "tif", "tiff", "bmp", "png", "gif", "ico", "cur", "rle", "wmf", "emf"}, toImage, "image"},
  };
  return rows;
}

const DispatchRow& rowFor(const std::string& ext) {
  for (const DispatchRow& row : dispatchTable()) {
    if (std::find(row.extensions.begin(), row.extensions.end(), ext) != row.extensions.end()) return row;
  }
  // An extension of no row, "scr" included, is taken for text.
  static const DispatchRow text{{}, toTextFile, "text"};
  return text;
}

}  // namespace

void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call) {
  const DistillerLogWatch distillerLog(call.out);
  rowFor(call.ext).convert(engine, call);
  if (const std::optional<std::string> failure = distillerLog.failure(call.in)) throw std::runtime_error(*failure);
}

std::string ConverterName(const std::string& ext) {
  if (ext == "scr") return "script";
  return std::string(rowFor(ext).converter);
}

ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext) {
  // No other row takes "scr", so looking at it first keeps the table's order.
  if (call.ext == "scr") return RunScript(scriptContext, call.in, call.out);
  ConvertWithEngine(engine, call);
  return ScriptRunEnd::Finished;
}

}  // namespace vd
