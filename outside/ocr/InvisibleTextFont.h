// The font of the invisible text over scanned pages: a composite font whose character
// codes are UTF-16 code units (Identity-H) with a ToUnicode map saying so, so that
// searching, selecting and text extraction give the recognised characters. Its one
// embedded TrueType program has no outlines at all: the text is never painted (render mode
// 3), and no reader has to find a system font for it. Every code is half an em wide.
#pragma once

#include <string>

#include <qpdf/QPDFObjectHandle.hh>

class QPDF;

namespace vd {

// A code's advance, in thousandths of the font size.
inline constexpr int kInvisibleTextAdvance = 500;

// The font dictionary, made in document once per call: share it between the pages.
QPDFObjectHandle MakeInvisibleTextFont(QPDF& document);

// The TrueType program embedded in it.
std::string GlyphlessTrueTypeFont();

// Text as the font's codes: each UTF-16 code unit as two bytes (big-endian). Characters
// beyond the Basic Multilingual Plane, and bytes that are not UTF-8, become U+FFFD.
std::string InvisibleTextCodes(const std::string& utf8);

}  // namespace vd
