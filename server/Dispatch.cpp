#include "server/Dispatch.h"

#include <algorithm>
#include <string_view>

#include "engine/CreatePDF.h"

namespace vd {
namespace {

bool isOneOf(const std::string& ext, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), ext) != list.end();
}

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

}  // namespace

void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call) {
  const std::string& ext = call.ext;
  if (ext == "ps") {
    toPostScript(engine, call);
  } else if (ext == "xls") {
    toExcel(engine, call);
  } else if (ext == "ppt") {
    toPowerPoint(engine, call);
  } else if (isOneOf(ext, {"doc", "rtf", "htm", "html"})) {
    toWord(engine, call);
  } else if (ext == "pub") {
    toPublisher(engine, call);
  } else if (ext == "dwg") {
    toAutoCAD(engine, call);
  } else if (isOneOf(ext, {"txt", "bat"})) {
    toTextFile(engine, call);
  } else if (ext == "rpt") {
    toCrystalReport(engine, call);
  } else if (ext == "vsd") {
    toVisio(engine, call);
  } else if (isOneOf(ext, {"jpg", "jpeg", "tif", "tiff", "bmp", "png", "gif", "ico", "cur", "rle", "wmf", "emf"})) {
    toImage(engine, call);
  } else {
    toTextFile(engine, call);
  }
}

ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext) {
  // No other row takes "scr", so looking at it first keeps the table's order.
  if (call.ext == "scr") return RunScript(scriptContext, call.in, call.out);
  ConvertWithEngine(engine, call);
  return ScriptRunEnd::Finished;
}

}  // namespace vd
