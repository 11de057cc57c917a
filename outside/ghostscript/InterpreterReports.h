// What the interpreter's worker (vellumdk-gsworker) reports besides log lines, as frame
// types of the worker machinery (outside/worker/WorkerProtocol.h), and the marker it
// counts pages by.
//
//   'G' a page finished (payload: its number in decimal)
//   'P' percent of the input consumed (decimal)
//
// A job is a list of texts: the input file (its reading progress is reported), the output
// file, PostScript run before the input, then the device's switches. Its code is the
// interpreter's exit code.
#pragma once

namespace vd::gsworker {

inline constexpr char kPageFrame = 'G';
inline constexpr char kPercentFrame = 'P';

// The PostScript marker the page-reporting procedure prints after each page.
inline constexpr const char* kPageMarker = "%%[vellumdock-page]%%";

}  // namespace vd::gsworker
