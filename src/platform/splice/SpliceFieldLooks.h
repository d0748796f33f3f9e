#pragma once

// The looks of form fields that a file asks readers to draw (/NeedAppearances).

#include <qpdf/QPDFAcroFormDocumentHelper.hh>

#include <string>
#include <vector>

namespace plyfold::splice {

// Draws, in the document itself, the looks of the text and choice fields that the library can draw
// as readers do (one line of ASCII text, left aligned, with a font size), and stores each drawn
// look as plain data, so that a copy of the page into another document carries the look itself.
// Other looks stay as the file has them: text beyond ASCII, several lines, combs, rich text,
// alignment, password fields, list boxes, buttons. Returns true when every field now shows its
// value without a reader's help; false when readers must still be asked to draw some. Problems
// are noted in log.
bool drawFieldLooks(QPDFAcroFormDocumentHelper& form, std::vector<std::string>& log);

} // namespace plyfold::splice
