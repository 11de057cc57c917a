// Keeps an input file whose conversion failed: instead of being deleted it is moved into
// the subfolder "failed" of the input directory, with the reason beside it in
// NAME.error.txt, so no input is ever lost.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vd {

class OpenFolder;

inline constexpr const char* kFailedFolder = "failed";

// Moves the file name of the input folder into its subfolder "failed" (made on demand)
// under a name not yet taken there (name, then base_1.ext, base_2.ext, ...) and writes the
// reason to <that name>.error.txt. Returns the path the file now has. Throws FileError when
// the file cannot be moved, and when "failed" is anything but a real folder (a symbolic
// link, wherever it points, or a file): the file then stays where it is. Everything is
// done relative to the folders held open, so neither a link put in place of a folder nor
// one put under a free name is ever followed.
//
// Every name made here fits the file-name length limit: a numbered name near the limit
// gives up the end of its base, and a reason note whose name would pass the limit is
// named by the beginning of the file's name and a short hash of all of it, and names the
// file in full on its first line.
std::string KeepFailedFile(const OpenFolder& inputFolder, const std::string& name, const std::string& reason);
// The same for the input folder at inputDir.
std::string KeepFailedFile(const std::string& inputDir, const std::string& name, const std::string& reason);

struct FailedFile {
  std::string name;    // in the failed folder
  std::string reason;  // as its note gives it, on one line; "" when it has none
};

struct FailedFiles {
  // In the order of their names; at most the number asked for.
  std::vector<FailedFile> files;
  // How many there are in all.
  std::size_t count = 0;
};

// The files kept in inputDir/failed with their reasons (the notes themselves are not
// failed files). Nothing when the folder does not exist; throws FileError when it cannot
// be read.
FailedFiles ListFailedFiles(const std::string& inputDir, std::size_t most);

// Puts failed/name back into inputDir for another try, under a name not taken there
// (name, then base_1.ext, ...), and removes its note. Returns the name it now has; throws
// FileError when the file cannot be moved, and std::invalid_argument for a name that is
// not one file of the failed folder (a path, "..", a link, a note).
std::string ReturnFailedFile(const std::string& inputDir, const std::string& name);
// The reason note of a file KeepFailedFile kept at keptPath.
std::string FailureNotePath(const std::string& keptPath);

}  // namespace vd
