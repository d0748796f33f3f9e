#pragma once

// The looks of form fields that a file asks readers to draw (/NeedAppearances).

#include <qpdf/QPDFAcroFormDocumentHelper.hh>

#include <string>
#include <vector>

namespace plyfold::splice {

// Draws, in the document itself, the looks of the text and choice fields that readers are asked
// to draw, and stores each drawn look as plain data, so that a copy of the page into another
// document carries the look itself. Returns true when every field that needs a look now shows its
// value as a reader would draw it; false when some look could not be drawn faithfully (text that
// is not ASCII, several lines, combs, rich text, alignment, password fields, list boxes, buttons
// without looks), in which case readers must still be asked to redraw. Problems are noted in log.
bool drawFieldLooks(QPDFAcroFormDocumentHelper& form, std::vector<std::string>& log);

} // namespace plyfold::splice
