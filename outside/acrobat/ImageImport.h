// Opening an image in the viewer: the image becomes a PDF document with one page per
// frame (pages of a TIFF, frames of an animated GIF; an icon's largest picture), each
// page as large as the frame at its resolution. JPEG data goes in unchanged; PNG rows go
// in unchanged where PDF can read them; bilevel CCITT TIFF pages go in as fax data (as
// stored where PDF can read it, else coded anew as Group 4); everything else is decoded
// and stored losslessly.
#pragma once

#include <memory>
#include <string>

class QPDF;

namespace vd {

// Throws EngineError, naming the file and the reason, when the image cannot be opened.
std::shared_ptr<QPDF> ImportImage(const std::string& path);

}  // namespace vd
