// Slides printed on paper turned from their own shape (tall paper for wide slides, or wide
// paper for tall ones). Each slide is drawn whole at its own size and then placed on the
// turned page scaled as one, centred: its text shrinks with its shapes and pictures, so
// every line breaks where it broke on the slide and nothing spills out of its shape or off
// the page. Shrinking the shapes alone (the slide's own size changed) would leave the text
// at its size, wrapping inside words and running out of its shapes and off the page.
#pragma once

#include <string>

namespace vd {

// Turns every page of the PDF at path that is not already tall (wide when wide is true),
// in place; a square page stays as it is. Links on a page move with what they point at.
// Throws FileError when the file cannot be read as a PDF or written.
void TurnSlidePages(const std::string& path, bool wide);

}  // namespace vd
