// The jobs the office worker runs (vellumdk-officeworker), as its client sends them:
//
//   {"print", APPLICATION, DOCUMENT, PRINT_FILE, KEY, VALUE, KEY, VALUE, ...}
//
// The worker opens DOCUMENT, applies the settings and writes the suite's print stream for
// it (PDF) to PRINT_FILE. APPLICATION is the stand-in that asks ("word", ...); the keys
// below are the settings it collected, values as text ("1" for a switch that is on).
#pragma once

namespace vd::office {

inline constexpr const char* kPrintJob = "print";
inline constexpr const char* kWord = "word";
inline constexpr const char* kExcel = "excel";
inline constexpr const char* kPowerPoint = "powerpoint";
inline constexpr const char* kPublisher = "publisher";
// A picture (WMF, EMF) opened by the drawing component, printed on a page of its own size.
inline constexpr const char* kDrawing = "draw";
// A drawing: a document the suite does not open as a drawing (it reads damaged files as
// plain text) is refused rather than printed as text.
inline constexpr const char* kVisio = "visio";

inline constexpr const char* kPassword = "password";
// Word: "1" landscape, "0" portrait; absent leaves the document's own.
inline constexpr const char* kOrientation = "orientation";
inline constexpr const char* kNumbersInFooter = "numbersInFooter";
inline constexpr const char* kNumbersInHeader = "numbersInHeader";
// 0 left, 1 centre, 2 right.
inline constexpr const char* kNumberAlignment = "numberAlignment";
inline constexpr const char* kNumberFirstPage = "numberFirstPage";
// A page selection such as "1,3-5"; absent prints every page.
inline constexpr const char* kPages = "pages";

// Excel: the sheet by index (from 1) or name, absent for the active sheet; the range by
// address or name ("Print_Area": the sheet's print area, else its used area); switches and
// texts of the page setup; margins in points; the first page's number.
inline constexpr const char* kSheetIndex = "sheetIndex";
inline constexpr const char* kSheetName = "sheetName";
inline constexpr const char* kRange = "range";
inline constexpr const char* kGridlines = "gridlines";
inline constexpr const char* kFirstPageNumber = "firstPageNumber";
// Header and footer texts: "header.left", "header.center", ..., "footer.right".
// Margins: "margin.top", "margin.left", "margin.right", "margin.bottom", "margin.header",
// "margin.footer".

// PowerPoint: the first and last slide, a value below 1 leaving that end open. The slides
// are printed at their own size; the stand-in turns their pages.
inline constexpr const char* kFrom = "from";
inline constexpr const char* kTo = "to";

}  // namespace vd::office
