// Pages of known text (TextPages.h) rendered by Ghostscript at 300 dpi as a scanner or a fax
// server writes them, for the tests of text recognition.
#pragma once

#include <string>

#include "support/TextPages.h"

namespace vd::test {

// Renders pages with the Ghostscript device ("jpeggray", "pnggray", "tiffg4") into
// picture (its PostScript beside it) and returns picture's path. The helper folder must
// hold the interpreter's worker (VELLUMDOCK_HELPER_DIR). Throws std::runtime_error when
// the interpreter fails.
std::string RenderTextPages(const TextPages& pages, const std::string& device, const std::string& picture);

}  // namespace vd::test
