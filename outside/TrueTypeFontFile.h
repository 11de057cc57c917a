// Writing a TrueType font program from its tables, for the fonts the stand-ins embed in the
// PDFs they make (the text printer's subsets, the invisible text over scanned pages): the
// big-endian numbers the tables are made of, and the file around them (its table directory
// in the order of the tags, each table's checksum, the whole font's in the head table).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vd {

// Appends value as a TrueType table stores it: big-endian, in two or four bytes.
void AppendFontU16(std::string& out, std::uint32_t value);
void AppendFontU32(std::string& out, std::uint32_t value);

// The font file holding tables, by their four-letter tags. A head table (at least 12
// bytes) gets the checksum adjustment that makes the whole file's checksum come out right.
std::string TrueTypeFontFile(const std::map<std::string, std::string>& tables);

}  // namespace vd
