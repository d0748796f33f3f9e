#include "platform/PasswordSpellings.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <optional>

namespace plyfold {

namespace {

// Characters of the bytes 0x80 to 0xFF of each single-byte encoding; 0 where a byte is undefined.
// PDFDocEncoding (the PDF standard, annex D)
constexpr char16_t kPdfDocHigh[128] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212, 0x2030,
    0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160,
    0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x0000, 0x20AC, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x0000, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
// Windows-1252
constexpr char16_t kWinAnsiHigh[128] = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0x0000, 0x017D, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
// Mac Roman
constexpr char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};
// PDFDocEncoding's bytes 0x18 to 0x1F are spacing accents rather than control characters.
constexpr char16_t kPdfDocLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};

struct SingleByte {
    const char16_t* high;
    bool pdfDoc;
};
constexpr std::array<SingleByte, 3> kEncodings{{
    {kPdfDocHigh, true},
    {kWinAnsiHigh, false},
    {kMacRomanHigh, false},
}};

char32_t charOf(const SingleByte& encoding, unsigned char byte) {
    if (byte >= 0x80)
        return encoding.high[byte - 0x80];
    if (encoding.pdfDoc && byte >= 0x18 && byte <= 0x1F)
        return kPdfDocLow[byte - 0x18];
    return byte;
}

std::optional<std::u32string> decodeSingle(const std::string& bytes, const SingleByte& encoding) {
    std::u32string text;
    for (char b : bytes) {
        const char32_t c = charOf(encoding, static_cast<unsigned char>(b));
        if (c == 0 && b != 0)
            return std::nullopt;
        text += c;
    }
    return text;
}

std::optional<std::string> encodeSingle(const std::u32string& text, const SingleByte& encoding) {
    std::string bytes;
    for (char32_t c : text) {
        int found = -1;
        for (int b = 0; b < 256 && found < 0; ++b)
            if (charOf(encoding, static_cast<unsigned char>(b)) == c)
                found = b;
        if (found < 0)
            return std::nullopt;
        bytes += static_cast<char>(found);
    }
    return bytes;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
std::optional<std::u32string> decodeUtf8(const std::string& bytes) {
    std::u32string text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const int extra = b < 0x80             ? 0
                          : (b & 0xE0) == 0xC0 ? 1
                          : (b & 0xF0) == 0xE0 ? 2
                          : (b & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= bytes.size())
            return std::nullopt;
        char32_t c = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        text += c;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return text;
}

std::string encodeUtf8(const std::u32string& text) {
    std::string bytes;
    for (char32_t c : text) {
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

// The bytes decoded in the current C locale; nullopt when they are not text there.
std::optional<std::u32string> decodeLocale(const std::string& bytes) {
    std::u32string text;
    std::mbstate_t state{};
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        wchar_t wide = 0;
        const std::size_t used = std::mbrtowc(&wide, p, left, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2))
            return std::nullopt;
        const std::size_t step = used == 0 ? 1 : used; // an embedded zero byte
        const auto c = static_cast<char32_t>(wide);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        text += c;
        p += step;
        left -= step;
    }
    return text;
}

bool beyondAscii(const std::u32string& text) {
    return std::any_of(text.begin(), text.end(), [](char32_t c) { return c >= 0x80; });
}

} // namespace

std::vector<std::string> PasswordSpellings(const std::string& password) {
    std::vector<std::string> result;
    const auto add = [&result](const std::optional<std::string>& candidate) {
        if (candidate && std::find(result.begin(), result.end(), *candidate) == result.end())
            result.push_back(*candidate);
    };
    add(password);
    const std::optional<std::u32string> utf8 = decodeUtf8(password);
    const std::optional<std::u32string> text = utf8 ? utf8 : decodeLocale(password);
    if (text && beyondAscii(*text)) {
        add(encodeUtf8(*text));
        for (const SingleByte& encoding : kEncodings)
            add(encodeSingle(*text, encoding));
    }
    if (!utf8) {
        for (const SingleByte& from : kEncodings) {
            const std::optional<std::u32string> read = decodeSingle(password, from);
            if (!read)
                continue;
            add(encodeUtf8(*read));
            for (const SingleByte& to : kEncodings)
                if (&to != &from)
                    add(encodeSingle(*read, to));
        }
    }
    return result;
}

} // namespace plyfold
