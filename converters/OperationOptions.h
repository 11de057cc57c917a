// The optional parameters of the engine's operations, gathered in one structure per
// operation whose members carry the parameters' names and defaults (the engine's public
// interface, engine/CreatePDF.h, takes them so), and the one value a converter receives
// them in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vd {

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

// The dispatch's distilling parameters: the engine's own Distiller, window, spooling and job
// options, with the folder's "Use security".
inline void UseEngineDistilling(DistillingOptions& options, bool security) {
  options = DistillingOptions{};
  options.blnApplySecurity = security;
}

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

// The options of one conversion: those of the operation it carries out, the list of a
// join, or none for a converter that takes nothing but its two paths.
using OperationOptions =
    std::variant<std::monostate, DistillingOptions, ImageInfoOptions, ExcelOptions, WordOptions, PowerPointOptions,
                 VisioOptions, TextFileOptions, CrystalReportOptions, AutoCADOptions, PathArray>;

}  // namespace vd
