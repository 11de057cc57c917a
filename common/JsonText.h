// JSON text for what the programs print or serve: strings escaped as JSON requires, and
// well-formed UTF-8 whatever bytes a file name holds.
#pragma once

#include <string>
#include <string_view>

namespace vd {

// Appends text as a JSON string with its quotes: quotes, backslashes and control
// characters escaped, bytes that are no UTF-8 replaced by U+FFFD.
void appendJsonString(std::string& json, std::string_view text);

}  // namespace vd
