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
    bool allDrawn = true;
    for (QPDFFormFieldObjectHelper field : form.getFormFields()) {
        const std::string type = field.getFieldType();
        if (type == "/Btn") {
            // Buttons are not drawn here: they must bring a look for each state.
            for (QPDFAnnotationObjectHelper widget : form.getAnnotationsForField(field)) {
                if (!field.isPushbutton() &&
                    !widget.getAppearanceDictionary().getKey("/N").isDictionary()) {
                    allDrawn = false;
                }
            }
            continue;
        }
        if (type != "/Tx" && type != "/Ch") {
            continue;
        }
        // A look the library would draw otherwise than readers do stays as the file has it, for
        // readers to draw.
        if (!drawable(field)) {
            allDrawn = false;
            continue;
        }
        const std::string value = field.getValueAsString();
        for (QPDFAnnotationObjectHelper widget : form.getAnnotationsForField(field)) {
            try {
                field.generateAppearance(widget);
                // The library draws a look by filtering its content when it is read; a copy of
                // the stream into another document would take the content unfiltered (an empty
                // look). The drawn content is stored instead.
                QPDFObjectHandle look = widget.getAppearanceStream("/N");
                if (!look.isStream()) {
                    allDrawn = allDrawn && value.empty();
                    continue;
                }
                std::shared_ptr<Buffer> drawn = look.getStreamData(qpdf_dl_generalized);
                const std::string_view content(reinterpret_cast<const char*>(drawn->getBuffer()),
                                               drawn->getSize());
                look.replaceStreamData(drawn, QPDFObjectHandle::newNull(),
                                       QPDFObjectHandle::newNull());
                // A value the drawn look does not show is no faithful look.
                if (!value.empty() && content.find('(' + literal(value) + ')') == content.npos) {
                    allDrawn = false;
                }
            } catch (const std::exception& e) {
                log.push_back(std::string("cannot draw the look of a form field: ") + e.what());
                allDrawn = false;
            }
        }
    }
    return allDrawn;
}

} // namespace plyfold::splice
