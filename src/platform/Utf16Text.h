#pragma once

// UTF-16 to UTF-8 for the platform layers, which take paths as the program's wide text but hand
// them to C libraries that read UTF-8. Header-only: the layers share no library of their own.

#include <optional>
#include <string>

namespace plyfold {

// UTF-8 form of zero-terminated UTF-16 text; nullopt for a null pointer or a lone surrogate.
inline std::optional<std::string> Utf16ToUtf8(const char16_t* text) {
    if (!text) {
        return std::nullopt;
    }
    std::string out;
    for (const char16_t* p = text; *p; ++p) {
        char32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (p[1] < 0xDC00 || p[1] > 0xDFFF) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace plyfold
