// Typesets a text into a PDF print stream as the text printer prints it: a monospaced
// face with fallbacks that cover the other scripts, 10 points on A4, tabs to every
// eighth column, long lines wrapped at the right margin, a form feed ending its page, the
// document's name at the head of each page and "Page N" at its foot. A text without
// lines still makes one (empty) page.
#pragma once

#include <QString>

namespace vd {

class TextTypesetter {
 public:
  // Writes the PDF to pdfPath and returns its page count; throws std::runtime_error when
  // the file cannot be written.
  static int typeset(const QString& text, const QString& documentName, const QString& pdfPath);
};

}  // namespace vd
