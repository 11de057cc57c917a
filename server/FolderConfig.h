// The folders one vellumdkd serves, from the file given with --config: one section per
// watched folder, each with its own input and output folder, options and interval.
//
//   # Lines starting with # or ; are comments.
//   [sales]
//   input = /srv/scans/sales
//   output = /srv/pdf/sales
//   overwrite = no
//   security = yes
//   interval = 5
//   ocr = eng+deu
//   ocr-rotate = yes
//
// Keys are input, output, overwrite, security, interval, ocr and ocr-rotate, in any case;
// yes/no, true/false, on/off and 1/0 answer the options; the interval is whole seconds from
// 1 to 32767; ocr names the languages scanned pages are recognised in (none: pictures keep
// no text), ocr-rotate turns pages recognised as turned upright. A key left out takes what
// a fresh install starts with (overwrite set, security clear, an interval of 5 seconds, no
// recognition); input and output must be given. A relative folder is taken from
// the folder that holds the file. A value runs to the end of its line (a # in it is part of
// it; blanks around it are not: a folder whose name ends in a blank is written with a
// slash after it). Anything else is refused with the number of its line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/ScanSettings.h"

namespace vd {

struct WatchedFolder {
  // The section's name, as the start-up line and the logs call the folder.
  std::string name;
  ScanSettings settings;
};

struct FolderConfigProblem {
  // The line at fault, from 1; 0 for the file as a whole.
  int line = 0;
  std::string problem;
};

struct FolderConfig {
  std::vector<WatchedFolder> folders;
  // Set when the text was refused; folders is empty then.
  std::optional<FolderConfigProblem> problem;
};

// Parses the text of a configuration file; relative folders are taken from baseFolder.
FolderConfig ParseFolderConfig(std::string_view text, const std::string& baseFolder);

// The defaults of a key left out.
inline constexpr std::int16_t kConfigDefaultSeconds = 5;
inline constexpr bool kConfigDefaultOverwrite = true;
inline constexpr bool kConfigDefaultSecurity = false;

}  // namespace vd
