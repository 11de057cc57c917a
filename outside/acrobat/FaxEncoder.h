// Bilevel rows coded as CCITT Group 4 by libtiff's own coder, for fax pages whose data
// cannot go into a PDF as it is (several strips, Group 3). The code stream is
// lossless: decoded, it gives back the same rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vd {

// rows: height rows of (width + 7) / 8 bytes, most significant bit first; photometric
// as in the TIFF the rows came from (it says which bit value is black). Throws
// std::runtime_error when libtiff cannot code them.
std::string EncodeGroup4(std::string_view rows, std::uint32_t width, std::uint32_t height, std::uint16_t photometric);

}  // namespace vd
