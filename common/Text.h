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

}  // namespace vd
