#pragma once

// The one rule by which both PDF layers (the viewer and the splicing layer) turn a password typed
// as text into the byte strings they try against a file, so that a password that opens a file in
// the window also opens it for the merge, and the other way round.
//
// A password reaches the layers as the locale's 8-bit text (UTF-8 on today's systems). The
// standard security handlers compare bytes: revisions 2 to 4 the bytes of a single-byte encoding
// (readers convert to PDFDocEncoding, Windows writers often stored Windows-1252, Mac writers Mac
// Roman), revisions 5 and 6 UTF-8. Which one the file's writer used is not recorded, so each is
// tried.

#include <string>
#include <vector>

namespace plyfold {

// Byte strings to try, in order, no duplicates:
//   1. the bytes as given;
//   2. when they are text (valid UTF-8, or decodable in the current C locale) with a character
//      beyond ASCII: that text as UTF-8, then in PDFDocEncoding, Windows-1252 and Mac Roman,
//      each where the encoding holds every character;
//   3. when the bytes are not valid UTF-8: the bytes read as PDFDocEncoding, Windows-1252 and
//      Mac Roman (each where every byte is defined there), each as UTF-8 and in the other two
//      single-byte encodings.
// ASCII text gives the bytes alone.
std::vector<std::string> PasswordSpellings(const std::string& password);

} // namespace plyfold
