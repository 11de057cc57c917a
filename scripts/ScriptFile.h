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
// Writes the entries to path whole: a reader (a scan of the folder) sees the old file or
// the complete new one, and a failed write leaves the old one. Throws FileError.
void WriteScriptFile(const std::string& path, const std::vector<std::string>& entries);

}  // namespace vd
