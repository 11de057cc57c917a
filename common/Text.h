// Small text helpers shared by every layer. Text is bytes (UTF-8 on Linux); the
// case-insensitive comparisons fold ASCII letters only, as the 8-bit code page did for
// the names this program compares (extensions, captions, printer names).
#pragma once

#include <string>
#include <string_view>

namespace vd {

std::string toLowerAscii(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Removes leading and trailing spaces (spaces only, not tabs).
std::string trimSpaces(std::string_view text);
// The leading number of a text such as "7.0" or "10.0 Pro"; 0 when there is none.
double leadingNumber(std::string_view text);
// The text with every byte that is not part of a well-formed UTF-8 sequence (a file name in
// another encoding, a cut sequence, an overlong form, a surrogate) replaced by U+FFFD, for
// what must be UTF-8 to be read at all: JSON, a web page.
std::string withValidUtf8(std::string_view text);

}  // namespace vd
