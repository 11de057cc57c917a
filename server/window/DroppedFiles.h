// Files dropped onto the window: copied into the input folder, where the scan converts
// them. The dropped file itself is never moved or changed.
#pragma once

#include <string>

namespace vd {

// What became of one dropped file: where its copy is, or why there is none.
struct DroppedFile {
  std::string copy;
  std::string refusal;
};

// Copies source into inputDir under its own name, or as name_1.ext, name_2.ext, ... when
// that is taken; a name is never taken from a file already there, even one that appears
// meanwhile. The copy appears whole under its name, so a scan never lists half of it.
// Refused: what is no ordinary file (a folder), a file in the input folder already, and
// names the scan leaves alone (hidden files, PDFs, programs), which would never be converted.
DroppedFile CopyDroppedFile(const std::string& source, const std::string& inputDir);

}  // namespace vd
