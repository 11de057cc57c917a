// The script file format, both sides: entries one per line. The writer ends every line
// with CR LF; the reader takes CR LF, LF alone and CR alone as line ends, and a last
// line without one.
#pragma once

#include <string>
#include <vector>

namespace vd {

// The lines of a script file's bytes, without their line ends.
std::vector<std::string> SplitScriptLines(const std::string& bytes);
// The bytes of a script file listing entries, top to bottom.
std::string FormatScriptFile(const std::vector<std::string>& entries);
// Creates or truncates path and writes the entries; throws FileError.
void WriteScriptFile(const std::string& path, const std::vector<std::string>& entries);

}  // namespace vd
