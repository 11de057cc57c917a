// A GIF that holds one picture covering its whole screen, read with giflib as it is
// stored: its palette and one index a pixel, the transparent entry (if any) clear. So it
// stays a palette picture with rows copied as they are. Animations and pictures smaller
// than their screen are composed by Qt's reader instead.
#pragma once

#include <QImage>
#include <optional>
#include <string_view>

namespace vd {

bool LooksLikeGif(std::string_view bytes);

// Nothing when the file is not such a GIF or cannot be read here (the caller then lets
// Qt's reader decide).
std::optional<QImage> ReadSingleGifPicture(std::string_view bytes);

}  // namespace vd
