// Opening an image in the viewer: the image becomes a PDF document with one page per
// frame (pages of a TIFF, frames of an animated GIF; an icon's largest picture), each
// page as large as the frame at its resolution. JPEG data goes in unchanged; PNG rows go
// in unchanged where PDF can read them; bilevel CCITT TIFF pages go in as fax data (as
// stored where PDF can read it, else coded anew as Group 4); CMYK TIFF pages keep their
// samples in DeviceCMYK; everything else is decoded and stored losslessly. A WMF or EMF picture is drawn by the office suite's drawing
// component into a PDF page of the picture's own size, which is taken as it is.
#pragma once

#include <memory>
#include <string>

class QPDF;

namespace vd {

class OfficeSuite;

// Throws EngineError, naming the file and the reason, when the image cannot be opened.
// Metafiles need drawings, the suite that draws them; without one they cannot be opened.
std::shared_ptr<QPDF> ImportImage(const std::string& path, OfficeSuite* drawings = nullptr);

}  // namespace vd
