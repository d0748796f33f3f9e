#include "platform/splice/SpliceNavigation.h"

#include <qpdf/QPDFPageLabelDocumentHelper.hh>

namespace plyfold::splice {
namespace {

// A label dictionary rebuilt from its three meaningful entries, so nothing else of the source
// comes along.
QPDFObjectHandle copyLabel(QPDFObjectHandle label) {
    QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
    if (!label.isDictionary()) {
        return copy;
    }
    if (label.getKey("/S").isName()) {
        copy.replaceKey("/S", QPDFObjectHandle::newName(label.getKey("/S").getName()));
    }
    if (label.getKey("/P").isString()) {
        copy.replaceKey("/P", QPDFObjectHandle::newString(label.getKey("/P").getStringValue()));
    }
    if (label.getKey("/St").isInteger() && label.getKey("/St").getIntValue() > 1) {
        copy.replaceKey("/St", QPDFObjectHandle::newInteger(label.getKey("/St").getIntValue()));
    }
    return copy;
}

} // namespace

void carryPageLabels(QPDF& output, std::vector<Contribution>& contributions) {
    bool anyLabels = false;
    for (Contribution& c : contributions) {
        if (!c.runs.empty() && QPDFPageLabelDocumentHelper(*c.source).hasPageLabels()) {
            anyLabels = true;
            break;
        }
    }
    if (!anyLabels) {
        return; // readers number the pages 1, 2, 3... as before
    }
    // Pages of an input without labels keep the numbers they had in their own file.
    QPDFObjectHandle nums = QPDFObjectHandle::newArray();
    for (Contribution& c : contributions) {
        QPDFPageLabelDocumentHelper labels(*c.source);
        const bool labelled = labels.hasPageLabels();
        for (const Contribution::Run& run : c.runs) {
            std::vector<QPDFObjectHandle> entries;
            if (labelled) {
                labels.getLabelsForPageRange(run.firstSource, run.lastSource, run.firstOutput,
                                             entries);
            } else {
                // (The library's own range call is not safe on a file without labels.)
                QPDFObjectHandle label = QPDFObjectHandle::newDictionary();
                label.replaceKey("/S", QPDFObjectHandle::newName("/D"));
                label.replaceKey("/St", QPDFObjectHandle::newInteger(run.firstSource + 1));
                entries.push_back(QPDFObjectHandle::newInteger(run.firstOutput));
                entries.push_back(label);
            }
            for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
                if (!entries[i].isInteger()) {
                    continue;
                }
                nums.appendItem(QPDFObjectHandle::newInteger(entries[i].getIntValue()));
                nums.appendItem(copyLabel(entries[i + 1]));
            }
        }
    }
    QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
    tree.replaceKey("/Nums", nums);
    output.getRoot().replaceKey("/PageLabels", output.makeIndirectObject(tree));
}

} // namespace plyfold::splice
