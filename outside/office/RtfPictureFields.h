// Rich text's INCLUDEPICTURE field: the suite's rich text reader fetches the file or address
// the field names by itself while it reads, past the settings that keep every other link of
// a document unfollowed (those go through the suite's link manager, which honours them). A
// worker that may run unconfined disarms the field before the suite sees the document.
#pragma once

#include <string>

namespace vd::office {

// Whether the file at path is rich text (the reader's own test: "{\rtf" at its start).
bool isRichText(const std::string& path);

// Writes the field name INCLUDEPICTURE in other letters wherever it occurs in a rich text
// document: the reader takes only those exact letters for the field, so the field becomes
// one it does not know and shows the result saved with it. Returns whether anything
// changed; nothing else of the document does.
bool disarmPictureFields(std::string& richText);

}  // namespace vd::office
