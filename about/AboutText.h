// The texts of the about window, built from the product information of this build.
#pragma once

#include <string>

namespace vd {

// "major.minor.revision", each number in decimal without leading zeros.
std::string VersionText();
// The about box's text: name and version, an empty line, the legal notice, the
// all-rights-reserved sentence, an empty line, the description; lines joined by CR LF.
std::string AboutText();
// The help file in the given program folder.
std::string HelpFilePath(const std::string& programFolder);
// The link targets of the e-mail and web labels.
std::string ContactLink();
std::string WebLink();
// The web label's text: the web address without its scheme and final slash.
std::string WebLinkText();

}  // namespace vd
