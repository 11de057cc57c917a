// The text layer over a scanned page: each recognised word written as invisible text (render
// mode 3) over its place on the picture, line by line in reading order, stretched to the
// word's width and as tall as its line, with a space after each word but a line's last, so
// that selecting, searching and text extraction find the page's words where they are seen.
// The page's own content and its picture stay as they are; the layer is a content stream
// added after them.
#pragma once

#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include "outside/ocr/TextRecognition.h"

namespace vd {

// Adds recognized's words to page in font (MakeInvisibleTextFont, one per document).
// pictureToPage takes the picture's pixels (y downwards) to the page's default user space.
// restoreState: the page's content leaves the graphics state changed (a cm outside any
// q...Q, or openStates q's never closed), so it is put inside a state of its own first.
// Returns the number of words written.
int AddInvisibleText(QPDFPageObjectHelper& page, const RecognizedPage& recognized, const QPDFMatrix& pictureToPage,
                     QPDFObjectHandle font, bool restoreState = false, int openStates = 0);

// The page content that writes the words with the font resource fontName (e.g. "/F0").
std::string InvisibleTextContent(const RecognizedPage& recognized, const QPDFMatrix& pictureToPage,
                                 const std::string& fontName);

}  // namespace vd
