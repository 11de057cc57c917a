// Writes a palette picture as a single-frame GIF (Qt reads GIF but cannot write it).
#pragma once

#include <string>

class QImage;

namespace vd::bench {

// picture must be Format_Indexed8 with at most 256 colours. Throws std::runtime_error
// when the file cannot be written.
void WriteGif(const QImage& picture, const std::string& path);

}  // namespace vd::bench
