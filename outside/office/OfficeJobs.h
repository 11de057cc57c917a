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

}  // namespace vd::office
