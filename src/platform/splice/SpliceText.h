#pragma once

// Text conversions of the splicing layer: wide paths to UTF-8, and passwords from the locale's
// 8-bit encoding to the bytes the standard security handler compares.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plyfold::splice {

// The path as UTF-8 bytes (what the PDF library's file calls take on every platform).
std::string pathToUtf8(const std::filesystem::path& path);

// The password as Unicode text in UTF-8: the bytes themselves when they are valid UTF-8, otherwise
// decoded with the current C locale; nullopt when neither works.
std::optional<std::string> localeToUtf8(const std::string& password);

// Byte strings to try, in order, when opening a file with a password typed as text: the rule both
// PDF layers share (platform/PasswordSpellings.h), the bytes as given first, then the same text in
// the other encodings a writer may have used (UTF-8 for AES-256 files, PDFDocEncoding, Windows and
// Mac code pages for the older handlers). No duplicates.
std::vector<std::string> passwordCandidates(const std::string& password);

// The bytes to store for a password of the 128-bit handlers (revisions 2 to 4): the text in
// PDFDocEncoding, which readers convert a typed password to. Text that PDFDocEncoding cannot
// represent is kept as UTF-8; bytes that are not text in the locale are kept as given.
std::string passwordForR4(const std::string& password);

// The permission word split into the switches of the revision 4 handler.
struct R4Permissions {
    bool printLow = false;        // 0x4
    bool printHigh = false;       // 0x4 and 0x800
    bool modifyOther = false;     // 0x8
    bool extract = false;         // 0x10
    bool annotateAndForm = false; // 0x20
    bool formFilling = false;     // 0x100
    bool accessibility = false;   // 0x200
    bool assemble = false;        // 0x400
};
R4Permissions r4Permissions(std::uint32_t p);

} // namespace plyfold::splice
