// Text put into the status page: whatever bytes a file name or a reason holds, it shows as
// text and never as markup.
#pragma once

#include <string>
#include <string_view>

namespace vd::http {

// The text escaped for an element's content or a quoted attribute value: & < > " ' as
// character references, control characters (a newline in a file name) as their visible
// pictures (U+2400 ...), bytes that are no UTF-8 as U+FFFD.
std::string HtmlText(std::string_view text);

// Bytes as lower-case hexadecimal digits, and back: how a form names a file exactly, whatever
// bytes its name holds. FromHex gives nothing for text that is not an even run of digits.
std::string ToHex(std::string_view bytes);
bool FromHex(std::string_view hex, std::string& bytes);

}  // namespace vd::http
