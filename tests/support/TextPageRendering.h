// Pages of known text (TextPages.h) rendered by Ghostscript at 300 dpi as a scanner or a fax
// server writes them, for the tests of text recognition, and what those tests read back of
// a PDF made from them: its words with their places and its picture streams as stored.
#pragma once

#include <string>
#include <vector>

#include "support/TextPages.h"

namespace vd::test {

// Renders pages with the Ghostscript device ("jpeggray", "pnggray", "tiffg4") into
// picture (its PostScript beside it) and returns picture's path. The helper folder must
// hold the interpreter's worker (VELLUMDOCK_HELPER_DIR). Throws std::runtime_error when
// the interpreter fails.
std::string RenderTextPages(const TextPages& pages, const std::string& device, const std::string& picture);

struct WordBox {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  std::string text;
};

// pdftotext's words of every page with their boxes (points from the page's top left).
std::vector<WordBox> WordBoxes(const std::string& pdf);

// The words of boxes that stand off the lines an upright page of layout set (their base
// line between two of its lines, or outside its margins); empty when all are in place.
std::vector<std::string> WordsOffTheirLines(const std::vector<WordBox>& boxes, const TextPageLayout& layout);

// Each page's picture streams as stored (name, filter, decode parameters and data), in
// page order.
std::vector<std::string> PictureStreams(const std::string& pdf);

}  // namespace vd::test
