#include "platform/splice/SpliceNavigation.h"

#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

namespace plyfold::splice {
namespace {

// Bounds for hostile outlines: nesting depth, and items read from one input.
constexpr int maxDepth = 64;
constexpr std::size_t maxItems = 200000;

using Item = OutlineItem;

class Reader {
public:
    explicit Reader(Contribution& c) : m_c(c) {}

    // The kept children of a source outline node.
    std::vector<Item> children(QPDFObjectHandle node, int depth) {
        std::vector<Item> kept;
        if (depth > maxDepth) {
            return kept;
        }
        for (QPDFObjectHandle child = node.getKey("/First"); child.isDictionary();
             child = child.getKey("/Next")) {
            if (child.isIndirect() && !m_visited.insert(child.getObjGen()).second) {
                break; // a loop
            }
            if (++m_read > maxItems) {
                break;
            }
            if (std::optional<Item> item = convert(child, depth)) {
                kept.push_back(std::move(*item));
            }
        }
        return kept;
    }

private:
    std::optional<Item> convert(QPDFObjectHandle source, int depth) {
        Item item;
        QPDFObjectHandle title = source.getKey("/Title");
        item.title = QPDFObjectHandle::newString(title.isString() ? title.getStringValue() : "");
        item.children = children(source, depth + 1);
        item.open =
            source.getKey("/Count").isInteger() && source.getKey("/Count").getIntValue() > 0;
        if (source.getKey("/C").isArray()) {
            item.color = copyDirectOrNull(source.getKey("/C"));
        }
        if (source.getKey("/F").isInteger()) {
            item.flags = QPDFObjectHandle::newInteger(source.getKey("/F").getIntValue());
        }
        bool hasTarget = false;
        QPDFObjectHandle dest = localDestination(source, hasTarget);
        if (hasTarget && !dest.isNull()) {
            item.dest = mapDestination(m_c, dest, false);
            if (item.dest.isNull() && item.children.empty()) {
                return std::nullopt; // its page was left out and nothing under it remains
            }
            return item;
        }
        // No page target: a heading, or an action that does not lead to a page of this file.
        // Actions that keep their meaning in the merged file go with it; scripts and program
        // launches are not carried into a file the user did not write, so their items stay as
        // headings.
        item.action = keptAction(source.getKey("/A"));
        return item;
    }

    // A copy of an outline action that means the same in the output, or null.
    static QPDFObjectHandle keptAction(QPDFObjectHandle action) {
        if (!action.isDictionary()) {
            return QPDFObjectHandle::newNull();
        }
        QPDFObjectHandle type = action.getKey("/S");
        QPDFObjectHandle kept = QPDFObjectHandle::newDictionary();
        const auto carry = [&](const char* key) {
            QPDFObjectHandle value = copyDirectOrNull(action.getKey(key));
            if (!value.isNull()) {
                kept.replaceKey(key, value);
            }
            return !value.isNull();
        };
        if (type.isNameAndEquals("/URI") && action.getKey("/URI").isString()) {
            carry("/URI");
        } else if (type.isNameAndEquals("/Named") && action.getKey("/N").isName()) {
            carry("/N");
        } else if (type.isNameAndEquals("/GoToR")) {
            // A place in another file: meaningful as long as the file and the place are named.
            if (!carry("/F") || !carry("/D")) {
                return QPDFObjectHandle::newNull();
            }
            carry("/NewWindow");
        } else {
            return QPDFObjectHandle::newNull();
        }
        kept.replaceKey("/S", QPDFObjectHandle::newName(type.getName()));
        return kept;
    }

    // copyDirect, with null for what cannot be copied (nested too deeply).
    static QPDFObjectHandle copyDirectOrNull(QPDFObjectHandle object) {
        try {
            return copyDirect(object);
        } catch (const std::exception&) {
            return QPDFObjectHandle::newNull();
        }
    }

    Contribution& m_c;
    std::set<QPDFObjGen> m_visited;
    std::size_t m_read = 0;
};

// Items visible under an item when it is open.
long long visibleBelow(const Item& item) {
    long long count = 0;
    for (const Item& child : item.children) {
        count += 1 + (child.open ? visibleBelow(child) : 0);
    }
    return count;
}

// Writes items as the children of parent (an indirect outline dictionary).
void writeChildren(QPDF& output, QPDFObjectHandle parent, std::vector<Item>& items) {
    QPDFObjectHandle previous;
    for (Item& item : items) {
        QPDFObjectHandle node = output.makeIndirectObject(QPDFObjectHandle::newDictionary());
        node.replaceKey("/Title", item.title);
        node.replaceKey("/Parent", parent);
        // Only what was set is written: a default handle is not an object and must never reach
        // the output.
        if (item.dest.isInitialized() && !item.dest.isNull()) {
            node.replaceKey("/Dest", item.dest);
        } else if (item.action.isInitialized() && !item.action.isNull()) {
            node.replaceKey("/A", item.action);
        }
        if (item.color.isInitialized() && item.color.isArray()) {
            node.replaceKey("/C", item.color);
        }
        if (item.flags.isInitialized()) {
            node.replaceKey("/F", item.flags);
        }
        if (!item.children.empty()) {
            const long long below = visibleBelow(item);
            node.replaceKey("/Count", QPDFObjectHandle::newInteger(item.open ? below : -below));
            writeChildren(output, node, item.children);
        }
        if (previous.isInitialized()) {
            previous.replaceKey("/Next", node);
            node.replaceKey("/Prev", previous);
        } else {
            parent.replaceKey("/First", node);
        }
        parent.replaceKey("/Last", node);
        previous = node;
    }
}

} // namespace

std::vector<OutlineItem> readOutline(Contribution& c) {
    QPDFObjectHandle outlines = c.source->getRoot().getKey("/Outlines");
    if (!outlines.isDictionary()) {
        return {};
    }
    return Reader(c).children(outlines, 0);
}

void buildOutlines(QPDF& output, std::vector<Contribution>& contributions) {
    std::vector<Item> top;
    for (Contribution& c : contributions) {
        if (!c.firstOutputPage.isInitialized()) {
            continue;
        }
        Item entry;
        entry.title = QPDFObjectHandle::newUnicodeString(c.title);
        entry.dest = QPDFObjectHandle::newArray();
        entry.dest.appendItem(c.firstOutputPage);
        entry.dest.appendItem(QPDFObjectHandle::newName("/XYZ"));
        for (int i = 0; i < 3; ++i) {
            entry.dest.appendItem(QPDFObjectHandle::newNull());
        }
        entry.children = c.outline;
        // Closed, so that the merged file first shows one entry per input.
        entry.open = false;
        top.push_back(std::move(entry));
    }
    if (top.empty()) {
        return;
    }
    QPDFObjectHandle root = output.makeIndirectObject(QPDFObjectHandle::newDictionary());
    root.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    writeChildren(output, root, top);
    long long visible = 0;
    for (const Item& item : top) {
        visible += 1 + (item.open ? visibleBelow(item) : 0);
    }
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(visible));
    output.getRoot().replaceKey("/Outlines", root);
}

} // namespace plyfold::splice
