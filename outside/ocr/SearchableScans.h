// Searchable scans: each page of a document that shows one picture and no text
// (ScannedPages.h) is recognised (TextRecognition.h) and gets its words as invisible text
// over the picture (InvisibleText.h). The picture and the page's own content stay byte for
// byte as they were, and so does the page's orientation unless recognition.turnUpright
// asks to turn pages upright.
//
// A page whose recognition fails, or passes its bound, keeps its picture and no text, and
// recognition.note gets a line saying so; the document is never failed for it. All pages
// of one document together are bounded by VELLUMDOCK_JOB_TIMEOUT (seconds, default 600, the
// bound of one conversion): the pages after it keep no text, with one line for them.
#pragma once

#include <string>

#include "outside/ocr/TextRecognition.h"

class QPDF;

namespace vd {

// Returns the number of pages that got text. documentName names the document in notes.
int AddTextToScannedPages(QPDF& document, const TextRecognition& recognition, const std::string& documentName);

// The PDF file `from` with text on its scanned pages, written to `to`. Returns false, and
// writes nothing, when no page got text (no page is a scan, the file cannot be read or is
// encrypted, recognition found no words): the file is then taken as it is. Throws
// FileError when `to` cannot be written.
bool WriteWithTextOnScannedPages(const std::string& from, const std::string& to, const TextRecognition& recognition);

}  // namespace vd
