#include "platform/splice/SpliceFieldLooks.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <exception>
#include <string_view>

namespace plyfold::splice {
namespace {

// Field flags (/Ff) that the library's drawing ignores.
constexpr int multilineFlag = 1 << 12;
constexpr int passwordFlag = 1 << 13;
constexpr int comboFlag = 1 << 17;
constexpr int combFlag = 1 << 24;

bool printableAscii(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

// The text as it stands in a literal string of a content stream.
std::string literal(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// Whether the library can draw this field's look as readers do: one line of ASCII text, left
// aligned, in a font size the default appearance gives.
bool drawable(QPDFFormFieldObjectHelper& field) {
    const int flags = field.getFlags();
    const std::string value = field.getValueAsString();
    if (!printableAscii(value) || !field.getInheritableFieldValue("/RV").isNull() ||
        field.getQuadding() != 0 || (flags & (multilineFlag | passwordFlag | combFlag)) != 0) {
        return false;
    }
    if (field.isChoice() && (flags & comboFlag) == 0) {
        return false; // a list box shows its options, not one value
    }
    const std::string appearance = field.getDefaultAppearance();
    return appearance.find("Tf") != std::string::npos &&
           appearance.find(" 0 Tf") == std::string::npos; // 0: size to fit, which is not drawn
}

} // namespace

bool drawFieldLooks(QPDFAcroFormDocumentHelper& form, std::vector<std::string>& log) {
    bool faithful = true;
    // Decided before drawing, on the fields as the file has them.
    for (QPDFFormFieldObjectHelper field : form.getFormFields()) {
        const std::string type = field.getFieldType();
        if (type == "/Tx" || type == "/Ch") {
            faithful = faithful && drawable(field);
        } else if (type == "/Btn" && !field.isPushbutton()) {
            // Buttons are not drawn here: they must bring a look for each state.
            for (QPDFAnnotationObjectHelper widget : form.getAnnotationsForField(field)) {
                if (!widget.getAppearanceDictionary().getKey("/N").isDictionary()) {
                    faithful = false;
                }
            }
        }
    }
    form.generateAppearancesIfNeeded();
    // The library draws a text look by filtering the look's content when it is read; a copy of the
    // stream into another document would take the content unfiltered (an empty look). The drawn
    // content is stored instead.
    for (QPDFFormFieldObjectHelper field : form.getFormFields()) {
        const std::string type = field.getFieldType();
        if (type != "/Tx" && type != "/Ch") {
            continue;
        }
        const std::string value = field.getValueAsString();
        for (QPDFAnnotationObjectHelper widget : form.getAnnotationsForField(field)) {
            QPDFObjectHandle look = widget.getAppearanceStream("/N");
            if (!look.isStream()) {
                faithful = faithful && value.empty();
                continue;
            }
            try {
                std::shared_ptr<Buffer> drawn = look.getStreamData(qpdf_dl_generalized);
                const std::string_view content(reinterpret_cast<const char*>(drawn->getBuffer()),
                                               drawn->getSize());
                look.replaceStreamData(drawn, QPDFObjectHandle::newNull(),
                                       QPDFObjectHandle::newNull());
                // A value the drawn look does not show is no faithful look.
                if (!value.empty() && content.find('(' + literal(value) + ')') == content.npos) {
                    faithful = false;
                }
            } catch (const std::exception& e) {
                log.push_back(std::string("cannot draw the look of a form field: ") + e.what());
                faithful = false;
            }
        }
    }
    return faithful;
}

} // namespace plyfold::splice
