#include "platform/splice/SpliceText.h"

#include "platform/PasswordSpellings.h"

#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cwchar>

namespace plyfold::splice {

std::string pathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> localeToUtf8(const std::string& password) {
    bool has8bit = false;
    bool validUtf8 = false;
    bool utf16 = false;
    QUtil::analyze_encoding(password, has8bit, validUtf8, utf16);
    if (!has8bit || validUtf8) {
        return password;
    }
    std::string out;
    std::mbstate_t state{};
    const char* p = password.data();
    std::size_t left = password.size();
    while (left > 0) {
        wchar_t wide = 0;
        const std::size_t used = std::mbrtowc(&wide, p, left, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            return std::nullopt;
        }
        const std::size_t step = used == 0 ? 1 : used; // an embedded zero byte
        out += QUtil::toUTF8(static_cast<unsigned long>(wide));
        p += step;
        left -= step;
    }
    // In the "C" locale mbrtowc may pass high bytes through unchanged; that is no decoding.
    bool stillHas8bit = false;
    bool nowUtf8 = false;
    QUtil::analyze_encoding(out, stillHas8bit, nowUtf8, utf16);
    if (!nowUtf8) {
        return std::nullopt;
    }
    return out;
}

std::vector<std::string> passwordCandidates(const std::string& password) {
    return PasswordSpellings(password);
}

std::string passwordForR4(const std::string& password) {
    const std::optional<std::string> text = localeToUtf8(password);
    if (!text) {
        return password;
    }
    std::string pdfDoc;
    if (QUtil::utf8_to_pdf_doc(*text, pdfDoc)) {
        return pdfDoc;
    }
    return *text;
}

R4Permissions r4Permissions(std::uint32_t p) {
    R4Permissions r;
    r.printLow = (p & 0x4u) != 0;
    r.printHigh = r.printLow && (p & 0x800u) != 0;
    r.modifyOther = (p & 0x8u) != 0;
    r.extract = (p & 0x10u) != 0;
    r.annotateAndForm = (p & 0x20u) != 0;
    r.formFilling = (p & 0x100u) != 0;
    r.accessibility = (p & 0x200u) != 0;
    r.assemble = (p & 0x400u) != 0;
    return r;
}

} // namespace plyfold::splice
