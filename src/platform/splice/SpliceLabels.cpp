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

void readPageLabels(Contribution& c) {
    QPDFPageLabelDocumentHelper labels(*c.source);
    c.labelled = labels.hasPageLabels();
    for (const Contribution::Run& run : c.runs) {
        std::vector<QPDFObjectHandle> entries;
        if (c.labelled) {
            labels.getLabelsForPageRange(run.firstSource, run.lastSource, run.firstOutput, entries);
        } else {
            // (The library's own range call is not safe on a file without labels.)
            QPDFObjectHandle label = QPDFObjectHandle::newDictionary();
            label.replaceKey("/S", QPDFObjectHandle::newName("/D"));
            label.replaceKey("/St", QPDFObjectHandle::newInteger(run.firstSource + 1));
            entries.push_back(QPDFObjectHandle::newInteger(run.firstOutput));
            entries.push_back(label);
        }
        for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
            if (entries[i].isInteger()) {
                c.labels.emplace_back(entries[i].getIntValue(), copyLabel(entries[i + 1]));
            }
        }
    }
}

void carryPageLabels(QPDF& output, std::vector<Contribution>& contributions) {
    bool anyLabels = false;
    for (const Contribution& c : contributions) {
        anyLabels = anyLabels || (!c.runs.empty() && c.labelled);
    }
    if (!anyLabels) {
        return; // readers number the pages 1, 2, 3... as before
    }
    // Pages of an input without labels keep the numbers they had in their own file.
    QPDFObjectHandle nums = QPDFObjectHandle::newArray();
    for (const Contribution& c : contributions) {
        for (const auto& [index, label] : c.labels) {
            nums.appendItem(QPDFObjectHandle::newInteger(index));
            nums.appendItem(label);
        }
    }
    QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
    tree.replaceKey("/Nums", nums);
    output.getRoot().replaceKey("/PageLabels", output.makeIndirectObject(tree));
}

} // namespace plyfold::splice
