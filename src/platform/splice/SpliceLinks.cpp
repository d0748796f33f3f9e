#include "platform/splice/SpliceNavigation.h"

#include <atomic>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

namespace plyfold::splice {
namespace {

// Direct objects nest without cycles, but a hostile file can still nest them very deeply.
constexpr int maxDepth = 64;

// Name-tree destinations read from one input at most; beyond this the rest are not carried.
constexpr std::size_t maxNames = 1000000;

QPDFObjectHandle copyDirectAt(QPDFObjectHandle object, int depth) {
    if (depth > maxDepth) {
        throw std::runtime_error("object nested too deeply");
    }
    if (object.isIndirect() && !object.isScalar()) {
        return QPDFObjectHandle::newNull();
    }
    if (object.isBool()) {
        return QPDFObjectHandle::newBool(object.getBoolValue());
    }
    if (object.isInteger()) {
        return QPDFObjectHandle::newInteger(object.getIntValue());
    }
    if (object.isReal()) {
        return QPDFObjectHandle::newReal(object.getRealValue());
    }
    if (object.isName()) {
        return QPDFObjectHandle::newName(object.getName());
    }
    if (object.isString()) {
        return QPDFObjectHandle::newString(object.getStringValue());
    }
    if (object.isArray()) {
        QPDFObjectHandle copy = QPDFObjectHandle::newArray();
        for (QPDFObjectHandle item : object.aitems()) {
            copy.appendItem(copyDirectAt(item, depth + 1));
        }
        return copy;
    }
    if (object.isDictionary()) {
        QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
        for (auto& [key, value] : object.getDictAsMap()) {
            copy.replaceKey(key, copyDirectAt(value, depth + 1));
        }
        return copy;
    }
    return QPDFObjectHandle::newNull();
}

// The explicit destination a named destination's value stands for (an array, or a dictionary
// holding it in /D).
QPDFObjectHandle explicitOf(QPDFObjectHandle value) {
    if (value.isDictionary()) {
        value = value.getKey("/D");
    }
    return value.isArray() ? value : QPDFObjectHandle::newNull();
}

std::string nameKey(QPDFObjectHandle dest) {
    if (dest.isName()) {
        return dest.getName();
    }
    return dest.getStringValue();
}

// Calls visit(key, value) for each entry of the name tree under `top`, in the tree's order, up to
// `limit` entries. The tree is walked directly, which is many times quicker than the library's
// general name-tree iterator: a node reached again (a loop, a node listed twice) is entered once,
// nesting is bounded, and an entry whose key is no string is passed over.
template <typename Visit> void forEachName(QPDFObjectHandle top, std::size_t limit, Visit&& visit) {
    std::set<QPDFObjGen> entered;
    std::vector<std::pair<QPDFObjectHandle, int>> stack{{top, 0}};
    std::size_t count = 0;
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        if (!node.isDictionary() || depth > maxDepth ||
            (node.isIndirect() && !entered.insert(node.getObjGen()).second)) {
            continue;
        }
        QPDFObjectHandle names = node.getKey("/Names");
        if (names.isArray()) {
            std::vector<QPDFObjectHandle> items = names.getArrayAsVector();
            for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
                if (!items[i].isString()) {
                    continue;
                }
                if (++count > limit) {
                    return;
                }
                visit(items[i].getStringValue(), items[i + 1]);
            }
        }
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (kids.isArray()) {
            const std::vector<QPDFObjectHandle> list = kids.getArrayAsVector();
            for (auto kid = list.rbegin(); kid != list.rend(); ++kid) {
                stack.emplace_back(*kid, depth + 1);
            }
        }
    }
}

std::atomic<long long> readAside{0};

} // namespace

long long readAsideCount() {
    return readAside.load();
}

std::map<std::string, QPDFObjectHandle> readNamedDestinations(QPDF& source) {
    std::map<std::string, QPDFObjectHandle> found;
    QPDFObjectHandle root = source.getRoot();
    QPDFObjectHandle dests = root.getKey("/Dests");
    if (dests.isDictionary()) {
        for (const auto& [key, value] : dests.ditems()) {
            QPDFObjectHandle dest = explicitOf(value);
            if (dest.isArray()) {
                found.emplace(key, dest);
            }
        }
    }
    QPDFObjectHandle names = root.getKey("/Names");
    if (names.isDictionary() && names.getKey("/Dests").isDictionary()) {
        forEachName(names.getKey("/Dests"), maxNames,
                    [&](const std::string& key, QPDFObjectHandle value) {
                        QPDFObjectHandle dest = explicitOf(value);
                        if (dest.isArray()) {
                            found.emplace(key, dest);
                        }
                    });
    }
    return found;
}

void readSourceNames(Contribution& c) {
    if (c.sourceNamesRead) {
        return;
    }
    c.sourceNamesRead = true;
    c.sourceNames = readNamedDestinations(*c.source);
}

namespace {

bool pointsIntoOutput(QPDFObjectHandle dest, const std::set<QPDFObjGen>& pages) {
    if (!dest.isArray()) {
        return true; // a name: carried names all point into the output
    }
    QPDFObjectHandle page = dest.getArrayNItems() > 0 ? dest.getArrayItem(0) : dest;
    return page.isIndirect() && pages.count(page.getObjGen()) > 0;
}

} // namespace

QPDFObjectHandle copyDirect(QPDFObjectHandle object) {
    return copyDirectAt(object, 0);
}

Navigation::~Navigation() {
    // Readers still at work are stopped first, so that none waits on another's turn.
    for (Contribution& c : m_contributions) {
        if (c.aside) {
            c.aside->abandon();
        }
    }
    for (const std::shared_ptr<AsideReader>& reader : m_retired) {
        reader->abandon();
    }
}

Contribution& Navigation::contribution(const void* key, QPDF& source, const std::string& title,
                                       const std::vector<QPDFObjectHandle>& sourcePages,
                                       std::shared_ptr<AsideReader> aside) {
    for (Contribution& c : m_contributions) {
        if (c.key == key) {
            if (aside) {
                aside->abandon();
                m_retired.push_back(std::move(aside)); // joined later, not while copying
            }
            return c;
        }
    }
    Contribution& c = m_contributions.emplace_back();
    c.key = key;
    c.source = &source;
    c.title = title;
    c.sourcePages = sourcePages;
    c.aside = std::move(aside);
    return c;
}

void Navigation::recordPages(Contribution& c, int first,
                             const std::vector<QPDFObjectHandle>& sourcePages,
                             const std::vector<QPDFObjectHandle>& outputPages,
                             long long firstOutputIndex) {
    if (sourcePages.empty() || sourcePages.size() != outputPages.size()) {
        return;
    }
    if (!c.firstOutputPage.isInitialized()) {
        c.firstOutputPage = outputPages.front();
    }
    const auto count = static_cast<long long>(sourcePages.size());
    c.runs.push_back({first - 1, first - 1 + count - 1, firstOutputIndex});
    for (std::size_t i = 0; i < sourcePages.size(); ++i) {
        c.outputPage.emplace(sourcePages[i].getObjGen(), outputPages[i]);
        // The copy's annotations are in the same order as the source page's.
        QPDFObjectHandle from = QPDFObjectHandle(sourcePages[i]).getKey("/Annots");
        QPDFObjectHandle to = QPDFObjectHandle(outputPages[i]).getKey("/Annots");
        if (!to.isArray()) {
            continue; // no annotations, so no links
        }
        bool paired = from.isArray() && from.getArrayNItems() == to.getArrayNItems();
        for (int n = 0; paired && n < from.getArrayNItems(); ++n) {
            QPDFObjectHandle a = from.getArrayItem(n);
            QPDFObjectHandle b = to.getArrayItem(n);
            if (a.isDictionary() && b.isDictionary()) {
                c.annotations.push_back({b, a, first - 1 + static_cast<long long>(i), n});
            } else {
                paired = a.isDictionary() == b.isDictionary();
            }
        }
        if (!paired) {
            c.unpairedPages.push_back(outputPages[i]);
        }
    }
}

void extractFromSource(Contribution& c, bool outlines, std::vector<std::string>& log) {
    if (c.extracted) {
        return;
    }
    c.extracted = true;
    // Each part stands alone: a damaged outline or name tree in one input costs that part, not
    // the merged file.
    auto part = [&](const char* what, auto&& body) {
        try {
            body();
        } catch (const std::exception& e) {
            log.push_back(std::string(what) + ": " + e.what());
        }
    };
    part("links and named destinations", [&] {
        readLinks(c);
        c.linksRead = true;
    });
    if (outlines) {
        part("outlines", [&] { c.outline = readOutline(c); });
    }
    part("page labels", [&] { readPageLabels(c); });
    // Nothing of the source is needed any more.
    c.source = nullptr;
    c.sourcePages.clear();
    c.sourcePages.shrink_to_fit();
    c.annotations.clear();
    c.annotations.shrink_to_fit();
    c.sourceNames.clear();
    c.outputPage.clear();
}

bool Navigation::release(const void* key, std::vector<std::string>& log) {
    for (Contribution& c : m_contributions) {
        if (c.key == key) {
            if (c.aside && !c.extracted && c.aside->handOver(c, m_outlines)) {
                // The reader aside reads the share; nothing of this source is needed any more.
                c.extracted = true;
                c.source = nullptr;
                c.sourcePages.clear();
                c.sourcePages.shrink_to_fit();
                c.annotations.clear();
                c.outputPage.clear();
            } else {
                retireReader(c);
                extractFromSource(c, m_outlines, log);
            }
            c.key = nullptr; // the key's memory may be reused by a later input
            return true;
        }
    }
    return false;
}

void Navigation::retireReader(Contribution& c) {
    if (c.aside) {
        c.aside->abandon();
        m_retired.push_back(std::move(c.aside));
        c.aside.reset();
    }
}

void Navigation::extractRemaining(std::vector<std::string>& log) {
    for (Contribution& c : m_contributions) {
        if (c.aside && c.extracted) {
            c.aside->collect(c, log);
            readAside.fetch_add(1);
        }
        retireReader(c);
        extractFromSource(c, m_outlines, log);
    }
}

void Navigation::finish(QPDF& output, std::vector<std::string>& log) {
    if (m_contributions.empty()) {
        return;
    }
    extractRemaining(log);
    auto step = [&](const char* what, auto&& body) {
        try {
            body();
        } catch (const std::exception& e) {
            log.push_back(std::string(what) + ": " + e.what());
        }
    };
    step("links and named destinations", [&] { carryLinks(output, m_contributions); });
    if (m_outlines) {
        step("outlines", [&] { buildOutlines(output, m_contributions); });
    }
    step("page labels", [&] { carryPageLabels(output, m_contributions); });
    step("link check", [&] { disableStrayLinks(output, m_contributions); });
}

QPDFObjectHandle localDestination(QPDFObjectHandle item, bool& hasTarget) {
    hasTarget = false;
    if (!item.isDictionary()) {
        return QPDFObjectHandle::newNull();
    }
    if (item.hasKey("/Dest")) {
        hasTarget = true;
        return item.getKey("/Dest");
    }
    QPDFObjectHandle action = item.getKey("/A");
    if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")) {
        hasTarget = true;
        return action.getKey("/D");
    }
    return QPDFObjectHandle::newNull();
}

QPDFObjectHandle mapDestination(Contribution& c, QPDFObjectHandle dest, bool byName) {
    if (dest.isName() || dest.isString()) {
        const std::string key = nameKey(dest);
        if (byName) {
            auto carried = c.names.find(key);
            return carried == c.names.end() ? QPDFObjectHandle::newNull()
                                            : QPDFObjectHandle::newString(carried->second);
        }
        auto named = c.sourceNames.find(key);
        if (named == c.sourceNames.end()) {
            return QPDFObjectHandle::newNull();
        }
        dest = named->second;
    }
    if (!dest.isArray() || dest.getArrayNItems() < 1) {
        return QPDFObjectHandle::newNull();
    }
    QPDFObjectHandle page = dest.getArrayItem(0);
    if (page.isInteger()) {
        // Some writers give the page by its index even inside the same document.
        const long long index = page.getIntValue();
        if (index < 0 || index >= static_cast<long long>(c.sourcePages.size())) {
            return QPDFObjectHandle::newNull();
        }
        page = c.sourcePages[static_cast<std::size_t>(index)];
    }
    if (!page.isIndirect()) {
        return QPDFObjectHandle::newNull();
    }
    auto target = c.outputPage.find(page.getObjGen());
    if (target == c.outputPage.end()) {
        return QPDFObjectHandle::newNull();
    }
    QPDFObjectHandle mapped = QPDFObjectHandle::newArray();
    mapped.appendItem(target->second);
    for (int i = 1; i < dest.getArrayNItems(); ++i) {
        mapped.appendItem(copyDirect(dest.getArrayItem(i)));
    }
    return mapped;
}

void readLinks(Contribution& c) {
    readSourceNames(c);
    for (const auto& [key, dest] : c.sourceNames) {
        QPDFObjectHandle mapped = mapDestination(c, dest, false);
        if (!mapped.isNull()) {
            c.mappedNames.emplace_back(key, mapped);
        }
    }
    for (CopiedAnnotation& copied : c.annotations) {
        // Named, not bound: the lambda below captures them.
        QPDFObjectHandle& to = copied.copy;
        QPDFObjectHandle& from = copied.source;
        const auto pending = [&](QPDFObjectHandle dest, bool isAction, bool plain) {
            PendingLink link;
            link.annotation = to;
            link.isAction = isAction;
            if (dest.isName() || dest.isString()) {
                link.byName = true;
                link.name = nameKey(dest);
                link.holdsName = plain && dest.isString() && !dest.isIndirect();
            } else {
                link.dest = mapDestination(c, dest, false);
            }
            c.links.push_back(std::move(link));
        };
        if (from.hasKey("/Dest")) {
            pending(from.getKey("/Dest"), false, true);
        }
        QPDFObjectHandle action = from.getKey("/A");
        if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")) {
            pending(action.getKey("/D"), true,
                    !action.isIndirect() && action.getKeys().size() == 2);
        }
    }
}

void carryLinks(QPDF& output, std::vector<Contribution>& contributions) {
    // Named destinations: every input's names whose page was kept, renamed when an earlier input
    // already gave the output that name.
    std::map<std::string, QPDFObjectHandle> outputNames;
    // Per base name, the last suffix found taken (0: none yet). Names are never given back, so
    // the search for a free one goes on from there instead of from the start: many inputs with
    // the same names (copies of one file) would otherwise cost a lookup per earlier input.
    std::unordered_map<std::string, int> lastTaken;
    for (Contribution& c : contributions) {
        for (const auto& [key, mapped] : c.mappedNames) {
            const std::string base = (!key.empty() && key[0] == '/') ? key.substr(1) : key;
            int& n = lastTaken[base];
            std::string name = n == 0 ? base : base + "-" + std::to_string(n);
            while (outputNames.count(name)) {
                n = n == 0 ? 2 : n + 1;
                name = base + "-" + std::to_string(n);
            }
            outputNames.emplace(name, mapped);
            c.names.emplace(key, name);
        }
    }
    if (!outputNames.empty()) {
        QPDFObjectHandle flat = QPDFObjectHandle::newArray();
        for (const auto& [name, dest] : outputNames) {
            flat.appendItem(QPDFObjectHandle::newString(name));
            flat.appendItem(dest);
        }
        QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
        tree.replaceKey("/Names", flat);
        QPDFObjectHandle root = output.getRoot();
        QPDFObjectHandle names = root.getKey("/Names");
        if (!names.isDictionary()) {
            names = output.makeIndirectObject(QPDFObjectHandle::newDictionary());
            root.replaceKey("/Names", names);
        }
        names.replaceKey("/Dests", output.makeIndirectObject(tree));
    }

    // Links: aim each copied link at its target's copy, or switch it off when the target page is
    // not in the output.
    for (Contribution& c : contributions) {
        for (PendingLink& link : c.links) {
            QPDFObjectHandle mapped = link.dest;
            if (link.byName) {
                auto carried = c.names.find(link.name);
                // Most links of a large file keep their name: rewriting them would only make
                // and free the same action again.
                if (link.holdsName && carried != c.names.end() && carried->second == link.name) {
                    continue;
                }
                mapped = carried == c.names.end() ? QPDFObjectHandle::newNull()
                                                  : QPDFObjectHandle::newString(carried->second);
            }
            if (!mapped.isInitialized() || mapped.isNull()) {
                link.annotation.removeKey(link.isAction ? "/A" : "/Dest");
            } else if (!link.isAction) {
                link.annotation.replaceKey("/Dest", mapped);
            } else {
                // (Made whole: a dictionary filled key by key costs twice as much, and there is
                // one for nearly every link of a large manual.)
                link.annotation.replaceKey(
                    "/A", QPDFObjectHandle::newDictionary(
                              {{"/S", QPDFObjectHandle::newName("/GoTo")}, {"/D", mapped}}));
            }
        }
    }
}

void disableStrayLinks(QPDF& output, const std::vector<Contribution>& contributions) {
    std::set<QPDFObjGen> pages;
    const std::vector<QPDFObjectHandle> all = output.getAllPages();
    for (const QPDFObjectHandle& page : all) {
        pages.insert(page.getObjGen());
    }
    std::vector<QPDFObjectHandle> unchecked;
    for (const Contribution& c : contributions) {
        if (c.linksRead) {
            unchecked.insert(unchecked.end(), c.unpairedPages.begin(), c.unpairedPages.end());
            continue;
        }
        for (const Contribution::Run& run : c.runs) {
            for (long long i = run.firstOutput;
                 i <= run.firstOutput + (run.lastSource - run.firstSource) &&
                 i < static_cast<long long>(all.size());
                 ++i) {
                unchecked.push_back(all[static_cast<std::size_t>(i)]);
            }
        }
    }
    for (QPDFObjectHandle page : unchecked) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        if (!annots.isArray()) {
            continue;
        }
        for (QPDFObjectHandle annot : annots.aitems()) {
            if (!annot.isDictionary()) {
                continue;
            }
            if (annot.hasKey("/Dest") && !pointsIntoOutput(annot.getKey("/Dest"), pages)) {
                annot.removeKey("/Dest");
            }
            QPDFObjectHandle action = annot.getKey("/A");
            if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo") &&
                !pointsIntoOutput(action.getKey("/D"), pages)) {
                annot.removeKey("/A");
            }
        }
    }
}

} // namespace plyfold::splice
