// What the text recogniser's worker (vellumdk-ocrworker) is asked and what it answers,
// on the worker machinery (outside/worker/WorkerProtocol.h).
//
// A job is a list of texts:
//   [0] the picture: a file of one picture (JPEG, TIFF, PNM)
//   [1] the languages, Tesseract's names joined by "+" ("eng", "eng+deu")
//   [2] the picture's resolution in dots per inch, "0" when it is not known
//   [3] seconds the recognition may take; past them it stops and the page keeps no text
// The job's code is 0 when the picture was recognised (with or without words), and the
// answer came before the end as one 'R' report, a text of lines:
//   frame A B C D E F   the matrix from the recognised picture's pixels to the picture
//                       file's pixels (the picture is turned upright and may be scaled
//                       down before recognition)
//   turn Q              quarter turns clockwise that made the picture upright; left out
//                       when its orientation could not be told
//   line X0 Y0 X1 Y1 B0 B1
//                       a text line's box in recognised pixels (y downwards) and its
//                       base line's height at X0 and at X1
//   word X0 Y0 X1 Y1 TEXT
//                       a word of the line before it, in reading order; TEXT is UTF-8
//                       without spaces or control characters
// Any other code: the page was not recognised; the job's log lines say why.
#pragma once

#include <string>

namespace vd::ocrworker {

inline constexpr char kResultFrame = 'R';

// The worker program in the helper folder.
inline constexpr const char* kProgramName = "vellumdk-ocrworker";

// A language list Tesseract can be given: names of letters, digits and "_", joined by "+".
// Nothing else may reach it, so a name cannot point at a file outside its data folder.
inline bool IsLanguageList(const std::string& languages) {
  if (languages.empty() || languages.front() == '+' || languages.back() == '+') return false;
  for (std::size_t i = 0; i < languages.size(); ++i) {
    const char c = languages[i];
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!plain && !(c == '+' && languages[i - 1] != '+')) return false;
  }
  return true;
}

}  // namespace vd::ocrworker
