// The viewer engine's calls declared in XpdfViewer.h, implemented over MuPDF.

#include "platform/viewer/XpdfViewer.h"

#include "platform/PasswordSpellings.h"
#include "platform/Utf16Text.h"
#include "platform/viewer/EngineConfig.h"
#include "platform/viewer/MuPdfContext.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace plyfold {

namespace {

using mupdf::threadContext;

// ---- Page facts read at load ------------------------------------------------------------------

struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

struct PageFacts {
    volatile int rotation = 0;
    Box media;
    Box crop;
};

// Rotation as MuPDF applies it when drawing: any integer, brought into 0..359 and rounded to the
// nearest quarter turn, so the value reported matches the bitmap.
int normaliseRotation(int raw) {
    int r = raw % 360;
    if (r < 0)
        r += 360;
    r = 90 * ((r + 45) / 90);
    return r >= 360 ? 0 : r;
}

constexpr Box kLetter{0, 0, 612, 792};

// Reads one page's rotation and boxes; page-level faults give the defaults.
PageFacts readPageFacts(fz_context* ctx, pdf_obj* page) {
    PageFacts facts;
    facts.media = kLetter;
    facts.crop = kLetter;
    volatile int rotation = 0;
    fz_rect media = {0, 0, 612, 792};
    fz_rect crop = media;
    volatile bool haveCrop = false;
    fz_try(ctx) {
        rotation = pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(Rotate)));
        pdf_obj* mediaObj = pdf_dict_get_inheritable(ctx, page, PDF_NAME(MediaBox));
        if (pdf_is_array(ctx, mediaObj) && pdf_array_len(ctx, mediaObj) >= 4)
            media = pdf_to_rect(ctx, mediaObj);
        pdf_obj* cropObj = pdf_dict_get_inheritable(ctx, page, PDF_NAME(CropBox));
        if (pdf_is_array(ctx, cropObj) && pdf_array_len(ctx, cropObj) >= 4) {
            crop = pdf_to_rect(ctx, cropObj);
            haveCrop = true;
        }
    }
    fz_catch(ctx) {
        // Values set before the error are not to be trusted after the jump: start over.
        rotation = 0;
        media = {0, 0, 612, 792};
        haveCrop = false;
    }
    auto toBox = [](const fz_rect& r) {
        return Box{std::min(r.x0, r.x1), std::min(r.y0, r.y1), std::max(r.x0, r.x1),
                   std::max(r.y0, r.y1)};
    };
    facts.rotation = normaliseRotation(rotation);
    facts.media = toBox(media);
    facts.crop = facts.media;
    if (haveCrop) {
        // The visible area is the CropBox clipped to the MediaBox; a CropBox outside it is ignored.
        Box c = toBox(crop);
        Box clipped{std::max(c.x0, facts.media.x0), std::max(c.y0, facts.media.y0),
                    std::min(c.x1, facts.media.x1), std::min(c.y1, facts.media.y1)};
        if (clipped.x1 > clipped.x0 && clipped.y1 > clipped.y0)
            facts.crop = clipped;
    }
    return facts;
}

// ---- Viewers ----------------------------------------------------------------------------------

pdf_obj* pageUnder(fz_context* ctx, pdf_obj* kid);

// The pages of a loaded document and their facts. The number of pages is fixed when the table is
// made. The facts are either all read at load, or read one page at a time when first asked for,
// from a second copy of the document (the index document) that is never used for rendering: a
// render holds the viewer's own document for as long as it draws, and a query must not wait for
// that. The lock is held over the reading of one page's facts, never over a render.
class PageTable {
public:
    // Every page's facts, read at load.
    explicit PageTable(std::vector<PageFacts> facts) : m_facts(std::move(facts)) {}
    // Pages whose facts are read on demand: objects[i] is the object number of page i + 1 in
    // index (0 where facts[i] is already read). Takes over the index document.
    PageTable(pdf_document* index, std::vector<int> objects, std::vector<PageFacts> facts)
        : m_index(index), m_objects(std::move(objects)), m_facts(std::move(facts)) {}
    ~PageTable() {
        if (m_index != nullptr)
            if (fz_context* ctx = threadContext())
                dropIndex(ctx);
    }
    PageTable(const PageTable&) = delete;
    PageTable& operator=(const PageTable&) = delete;

    std::size_t size() const { return m_facts.size(); }

    // The facts of page i + 1 (i < size()).
    PageFacts at(std::size_t i) {
        if (m_index == nullptr)
            return m_facts[i];
        std::lock_guard lock(m_mutex);
        if (m_objects[i] != 0) {
            if (fz_context* ctx = threadContext()) {
                m_facts[i] = readObjectFacts(ctx, m_objects[i]);
                m_objects[i] = 0;
            }
        }
        return m_facts[i];
    }

private:
    // The facts of the page the object stands for; an object that cannot be read (or is no
    // dictionary) gives the defaults, as a page whose entries cannot be read does.
    PageFacts readObjectFacts(fz_context* ctx, int num) {
        pdf_obj* volatile object = nullptr;
        pdf_obj* volatile page = nullptr;
        fz_try(ctx) {
            object = pdf_load_object(ctx, m_index, num);
            page = pageUnder(ctx, object);
        }
        fz_catch(ctx) {
            page = nullptr;
        }
        const PageFacts facts = readPageFacts(ctx, page);
        pdf_drop_obj(ctx, object);
        return facts;
    }
    void dropIndex(fz_context* ctx) {
        fz_try(ctx) {
            pdf_drop_document(ctx, m_index);
        }
        fz_catch(ctx) {}
        m_index = nullptr;
    }

    std::mutex m_mutex;
    pdf_document* m_index = nullptr;
    std::vector<int> m_objects;     // guarded by m_mutex
    std::vector<PageFacts> m_facts; // guarded by m_mutex while m_index is set
};

struct Viewer {
    // Held over every use of doc: MuPDF allows one thread at a time per document.
    std::mutex docMutex;
    pdf_document* doc = nullptr;

    // The pages of the loaded document; swapped whole under pagesMutex, which is never held for
    // longer than a pointer copy, so queries never wait for a render.
    std::mutex pagesMutex;
    std::shared_ptr<PageTable> pages;

    std::atomic<int> showPasswordDialog{1};
    std::atomic<int> hyperlinks{1};
    std::atomic<int> continuous{1};
    std::atomic<int> redraw{1};

    Viewer() = default;
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;
    ~Viewer() { dropDocument(); }

    std::shared_ptr<PageTable> pageTable() {
        std::lock_guard lock(pagesMutex);
        return pages;
    }
    void setPageTable(std::shared_ptr<PageTable> next) {
        std::lock_guard lock(pagesMutex);
        pages = std::move(next);
    }
    // Caller holds docMutex (or is the last owner).
    void dropDocument() {
        if (doc) {
            if (fz_context* ctx = threadContext())
                pdf_drop_document(ctx, doc);
            doc = nullptr;
        }
    }
};

// The registry of viewers. Never destroyed: viewers still open at exit are left to the operating
// system rather than torn down after the threads' MuPDF contexts are gone.
std::mutex gRegistryMutex;
auto& gViewers = *new std::unordered_map<PdfViewerHandle, std::shared_ptr<Viewer>>;
PdfViewerHandle gLastHandle = 0;

std::shared_ptr<Viewer> findViewer(PdfViewerHandle handle) {
    std::lock_guard lock(gRegistryMutex);
    auto it = gViewers.find(handle);
    return it == gViewers.end() ? nullptr : it->second;
}

// The facts of a page (1-based) of the viewer's document; empty for an unknown page.
std::optional<PageFacts> factsOf(PageTable* pages, std::int32_t page) {
    if (!pages || page < 1 || static_cast<std::size_t>(page) > pages->size())
        return std::nullopt;
    return pages->at(static_cast<std::size_t>(page) - 1);
}

// ---- MuPDF steps (each catches its own errors; no C++ object lives across a jump) ---------------

// Opens the file; sets *result to the failure kind when it returns null.
pdf_document* openDocument(fz_context* ctx, const char* path, std::int32_t* result) {
    fz_stream* volatile stream = nullptr;
    pdf_document* volatile doc = nullptr;
    fz_try(ctx) {
        stream = fz_open_file(ctx, path);
    }
    fz_catch(ctx) {
        *result = kPdfErrOpenFile;
        return nullptr;
    }
    fz_try(ctx) {
        doc = pdf_open_document_with_stream(ctx, stream);
    }
    fz_always(ctx) {
        fz_drop_stream(ctx, stream);
    }
    fz_catch(ctx) {
        *result = kPdfErrDamaged;
        return nullptr;
    }
    return doc;
}

bool needsPassword(fz_context* ctx, pdf_document* doc) {
    volatile int needs = 1;
    fz_try(ctx) {
        needs = pdf_needs_password(ctx, doc);
    }
    fz_catch(ctx) {
        needs = 1;
    }
    return needs != 0;
}

bool authenticate(fz_context* ctx, pdf_document* doc, const char* password) {
    volatile int ok = 0;
    fz_try(ctx) {
        ok = pdf_authenticate_password(ctx, doc, password);
    }
    fz_catch(ctx) {
        ok = 0;
    }
    return ok != 0;
}

// ---- The page tree ------------------------------------------------------------------------------
//
// A file's page counts (/Count at the root and at each intermediate node) are claims, not facts:
// a damaged or hostile file can claim billions of pages on a 30-page tree, loop its /Kids back to
// an ancestor, or hang its pages under a chain of thousands of nodes. The pages are therefore
// found by walking /Kids: nothing is sized from a /Count, every intermediate node is entered at
// most once, and the walk goes no deeper than any real file nests.

// Deepest node the walk enters; real trees are a handful of levels deep.
constexpr std::size_t kMaxTreeDepth = 256;
// Most pages taken from one tree; beyond any real document.
constexpr std::size_t kMaxPages = std::size_t{1} << 24;

// The page objects of a document in order, each held with its own reference.
class PageList {
public:
    explicit PageList(fz_context* ctx) : m_ctx(ctx) {}
    ~PageList() {
        for (pdf_obj* page : m_pages)
            pdf_drop_obj(m_ctx, page);
    }
    PageList(const PageList&) = delete;
    PageList& operator=(const PageList&) = delete;

    void add(pdf_obj* page) { m_pages.push_back(pdf_keep_obj(m_ctx, page)); }
    void clear() {
        for (pdf_obj* page : m_pages)
            pdf_drop_obj(m_ctx, page);
        m_pages.clear();
    }
    std::size_t size() const { return m_pages.size(); }
    bool empty() const { return m_pages.empty(); }
    pdf_obj* operator[](std::size_t i) const { return m_pages[i]; }

private:
    fz_context* m_ctx;
    std::vector<pdf_obj*> m_pages;
};

enum class KidKind { Node, Page, Other };

// The root of the page tree (null when the catalog has none), with a reference for the caller.
pdf_obj* treeRoot(fz_context* ctx, pdf_document* doc) {
    pdf_obj* volatile root = nullptr;
    fz_try(ctx) {
        pdf_obj* pages = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages");
        if (pdf_is_dict(ctx, pages))
            root = pdf_keep_obj(ctx, pages);
    }
    fz_catch(ctx) {
        root = nullptr;
    }
    return root;
}

// Item i of a node's /Kids as stored (a reference or a direct object), with a reference for the
// caller, and what it is, classified as MuPDF's page lookup classifies it: an intermediate node
// (/Type /Pages, or no /Type, a /Kids entry and no /MediaBox), a page (any other dictionary), or
// something that belongs in no page tree.
// True when a dictionary is an intermediate node as MuPDF's page lookup tells them: /Type /Pages,
// or no /Type, a /Kids entry and no /MediaBox. Throws MuPDF errors.
bool isTreeNode(fz_context* ctx, pdf_obj* dict) {
    pdf_obj* type = pdf_dict_get(ctx, dict, PDF_NAME(Type));
    return type ? pdf_name_eq(ctx, type, PDF_NAME(Pages)) != 0
                : pdf_dict_get(ctx, dict, PDF_NAME(Kids)) != nullptr &&
                      pdf_dict_get(ctx, dict, PDF_NAME(MediaBox)) == nullptr;
}

pdf_obj* kidOf(fz_context* ctx, pdf_obj* node, int i, KidKind* kind) {
    pdf_obj* volatile kid = nullptr;
    volatile KidKind found = KidKind::Other;
    fz_try(ctx) {
        kid = pdf_keep_obj(ctx, pdf_array_get(ctx, pdf_dict_get(ctx, node, PDF_NAME(Kids)), i));
        if (pdf_is_dict(ctx, kid))
            found = isTreeNode(ctx, kid) ? KidKind::Node : KidKind::Page;
    }
    fz_catch(ctx) {
        found = KidKind::Other;
    }
    *kind = found;
    return kid;
}

// The length of a node's /Kids (0 when it has none), or the /Count it claims.
int nodeNumber(fz_context* ctx, pdf_obj* node, bool claimedCount) {
    volatile int n = 0;
    fz_try(ctx) {
        n = claimedCount ? pdf_dict_get_int(ctx, node, PDF_NAME(Count))
                         : pdf_array_len(ctx, pdf_dict_get(ctx, node, PDF_NAME(Kids)));
    }
    fz_catch(ctx) {
        n = -1;
    }
    return n;
}

// Object number of an indirect object, 0 for a direct one.
int objectNumber(fz_context* ctx, pdf_obj* obj) {
    return pdf_is_indirect(ctx, obj) ? pdf_to_num(ctx, obj) : 0;
}

// The page drawn for a kid that was taken for a page without being read: the kid itself, or, when
// it is an intermediate node, the first page under it, found as MuPDF's lookup goes down a node
// (the first kid that is a page or a node claiming pages). Null when there is none within
// kMaxTreeDepth levels. Throws MuPDF errors; the result is borrowed from kid.
pdf_obj* pageUnder(fz_context* ctx, pdf_obj* kid) {
    for (std::size_t depth = 0; kid && depth < kMaxTreeDepth; ++depth) {
        if (!pdf_is_dict(ctx, kid) || !isTreeNode(ctx, kid))
            return kid;
        pdf_obj* kids = pdf_dict_get(ctx, kid, PDF_NAME(Kids));
        pdf_obj* next = nullptr;
        for (int i = 0, n = pdf_array_len(ctx, kids); i < n && !next; ++i) {
            pdf_obj* candidate = pdf_array_get(ctx, kids, i);
            if (pdf_is_dict(ctx, candidate) &&
                (!isTreeNode(ctx, candidate) ||
                 pdf_dict_get_int(ctx, candidate, PDF_NAME(Count)) > 0))
                next = candidate;
        }
        kid = next;
    }
    return nullptr;
}

// True when the object number names an object the file holds.
bool objectExists(fz_context* ctx, pdf_document* doc, int num) {
    volatile bool exists = false;
    fz_try(ctx) {
        if (num > 0 && num < pdf_xref_len(ctx, doc)) {
            const pdf_xref_entry* entry = pdf_get_xref_entry(ctx, doc, num);
            exists = entry != nullptr && (entry->type == 'n' || entry->type == 'o');
        }
    }
    fz_catch(ctx) {
        exists = false;
    }
    return exists;
}

// True when a kid names an object that the file holds but that cannot be read (MuPDF reads it
// as null): a damaged page, not a stray entry.
bool namesUnreadableObject(fz_context* ctx, pdf_document* doc, pdf_obj* kid) {
    volatile bool unreadable = false;
    fz_try(ctx) {
        unreadable = pdf_is_indirect(ctx, kid) && objectExists(ctx, doc, pdf_to_num(ctx, kid)) &&
                     pdf_is_null(ctx, kid);
    }
    fz_catch(ctx) {
        unreadable = true;
    }
    return unreadable;
}

// The kids of a node that may be taken for pages without reading them: the node claims as many
// pages as it has kids, and every kid is a reference to an object the file holds. Reading a page
// object means parsing it, which for a document of tens of thousands of pages takes longer than a
// user waits for its box; these kids are read when their facts are first asked for. Null when the
// node's kids have to be read to be counted.
pdf_obj* presumedLeaves(fz_context* ctx, pdf_document* doc, pdf_obj* node, int kids) {
    if (kids <= 0 || nodeNumber(ctx, node, true) != kids)
        return nullptr;
    pdf_obj* volatile array = nullptr;
    fz_try(ctx) {
        array = pdf_dict_get(ctx, node, PDF_NAME(Kids));
        for (int i = 0; array && i < kids; ++i) {
            pdf_obj* kid = pdf_array_get(ctx, array, i);
            if (!pdf_is_indirect(ctx, kid) || !objectExists(ctx, doc, pdf_to_num(ctx, kid)))
                array = nullptr;
        }
    }
    fz_catch(ctx) {
        array = nullptr;
    }
    return array;
}

// Collects the pages of the tree in order. A page listed twice counts twice (as the splicing
// library counts it); a node met again (a loop, or a subtree shared by two parents), a node
// deeper than kMaxTreeDepth and a kid that is neither page nor node are left out, but a kid that
// names an object the file holds and that cannot be read leaves no page at all. The result is
// true when the tree as stored describes exactly the pages found: nothing left out and every
// node's /Count true, which is what MuPDF's page lookup relies on.
//
// With presume, the kids of a node that presumedLeaves accepts are collected as the references
// they are, unread, and *presumed tells whether any were; the result is then false when one of
// them turns out to be a node of the tree.
bool collectPages(fz_context* ctx, pdf_document* doc, pdf_obj* root, PageList& pages, bool presume,
                  bool* presumed) {
    struct Frame {
        pdf_obj* node;
        int next;
        int kids;
        std::size_t firstPage;
    };
    bool sound = true;
    bool broken = false;
    std::vector<Frame> stack;
    std::unordered_set<int> entered;
    std::vector<int> presumedObjects;
    auto enter = [&](pdf_obj* node) {
        const int num = objectNumber(ctx, node);
        if ((num != 0 && !entered.insert(num).second) || stack.size() >= kMaxTreeDepth) {
            pdf_drop_obj(ctx, node);
            sound = false;
            return;
        }
        const int kids = std::max(0, nodeNumber(ctx, node, false));
        stack.push_back(Frame{node, 0, kids, pages.size()});
        if (!presume || pages.size() + static_cast<std::size_t>(kids) > kMaxPages)
            return;
        if (pdf_obj* leaves = presumedLeaves(ctx, doc, node, kids)) {
            for (int i = 0; i < kids; ++i) {
                pdf_obj* kid = pdf_array_get(ctx, leaves, i);
                presumedObjects.push_back(pdf_to_num(ctx, kid));
                pages.add(kid);
            }
            stack.back().next = kids;
        }
    };
    enter(pdf_keep_obj(ctx, root));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next >= top.kids || pages.size() >= kMaxPages) {
            const auto found = static_cast<std::int64_t>(pages.size() - top.firstPage);
            if (top.next < top.kids || nodeNumber(ctx, top.node, true) != found)
                sound = false;
            pdf_drop_obj(ctx, top.node);
            stack.pop_back();
            continue;
        }
        KidKind kind = KidKind::Other;
        pdf_obj* kid = kidOf(ctx, top.node, top.next++, &kind);
        if (kind == KidKind::Node) {
            enter(kid); // takes the reference
            continue;
        }
        if (kind == KidKind::Page)
            pages.add(kid);
        else
            sound = false;
        if (kind == KidKind::Other && namesUnreadableObject(ctx, doc, kid))
            broken = true;
        pdf_drop_obj(ctx, kid);
    }
    // A page that cannot be read would shift every later page's number: no page is taken.
    if (broken) {
        pages.clear();
        return false;
    }
    // A node taken for a page would be counted as one page where MuPDF counts its own.
    for (int num : presumedObjects)
        if (entered.count(num) != 0)
            sound = false;
    if (presumed)
        *presumed = !presumedObjects.empty();
    return sound;
}

// True when MuPDF counts the same number of pages as were collected.
bool countAgrees(fz_context* ctx, pdf_document* doc, const PageList& pages) {
    volatile int count = -1;
    fz_try(ctx) {
        count = pdf_count_pages(ctx, doc);
    }
    fz_catch(ctx) {
        count = -1;
    }
    return count >= 0 && static_cast<std::size_t>(count) == pages.size();
}

// Rewrites the document's page tree in memory (the file is never written) as the root listing
// the collected pages with their true count, so MuPDF's page numbers are the pages collected.
// The pages keep their /Parent, so what they inherit is unchanged.
bool flattenTree(fz_context* ctx, pdf_obj* root, pdf_document* doc, const PageList& pages) {
    pdf_obj* volatile kids = nullptr;
    volatile bool done = false;
    fz_try(ctx) {
        kids = pdf_new_array(ctx, doc, static_cast<int>(pages.size()));
        for (std::size_t i = 0; i < pages.size(); ++i)
            pdf_array_push(ctx, kids, pages[i]);
        pdf_dict_put(ctx, root, PDF_NAME(Kids), kids);
        pdf_dict_put_int(ctx, root, PDF_NAME(Count), static_cast<std::int64_t>(pages.size()));
        done = true;
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, kids);
    }
    fz_catch(ctx) {
        done = false;
    }
    return done;
}

// A catalog whose /Pages is itself a page, with no node above it, holds that one page: a node
// listing it is put in its place, in memory only (the splice layer reads such a file the same
// way). Returns the new root with a reference for the caller and drops the caller's reference to
// the page; on failure returns the page as it was.
pdf_obj* rootPageAsTree(fz_context* ctx, pdf_document* doc, pdf_obj* page) {
    pdf_obj* volatile node = nullptr;
    fz_try(ctx) {
        if (!isTreeNode(ctx, page)) {
            node = pdf_add_new_dict(ctx, doc, 3);
            pdf_dict_put(ctx, node, PDF_NAME(Type), PDF_NAME(Pages));
            pdf_array_push(ctx, pdf_dict_put_array(ctx, node, PDF_NAME(Kids), 1), page);
            pdf_dict_put_int(ctx, node, PDF_NAME(Count), 1);
            pdf_dict_put(ctx, page, PDF_NAME(Parent), node);
            pdf_dict_put(ctx, pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root)),
                         PDF_NAME(Pages), node);
        }
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, node);
        node = nullptr;
    }
    if (!node)
        return page;
    pdf_drop_obj(ctx, page);
    return node;
}

// Every page's facts, read now.
std::vector<PageFacts> readAllFacts(fz_context* ctx, const PageList& pages) {
    std::vector<PageFacts> facts;
    facts.reserve(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i)
        facts.push_back(readPageFacts(ctx, pages[i]));
    return facts;
}

// A table whose pages are read from index when first asked for; null when there is no index.
// Pages stored as direct objects have no number to be found by: their facts are read now.
std::shared_ptr<PageTable> onDemandTable(fz_context* ctx, const PageList& pages,
                                         pdf_document* index) {
    if (!index)
        return nullptr;
    std::vector<int> objects(pages.size(), 0);
    std::vector<PageFacts> facts(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pdf_is_indirect(ctx, pages[i]))
            objects[i] = pdf_to_num(ctx, pages[i]);
        else
            facts[i] = readPageFacts(ctx, pages[i]);
    }
    return std::make_shared<PageTable>(index, std::move(objects), std::move(facts));
}

// Documents that claim at most this many pages have every page object read at load, which takes
// a few milliseconds for them.
constexpr int kExactWalkPages = 1024;

// The pages of the document, counted from the page objects themselves; null when the document
// has no page that can be found (the caller then reports it as damaged).
//
// A document that claims more than kExactWalkPages pages, in a tree whose every node claims as
// many pages as it has kids (each a reference to an object of the file), is taken as the tree
// stands: its count is that of the kids, and each page is read when its facts are first asked
// for, from the document openIndex gives (when it gives one). Every other tree is walked page by
// page and every page's facts are read now.
template <typename OpenIndex>
std::shared_ptr<PageTable> readPages(fz_context* ctx, pdf_document* doc, OpenIndex openIndex) {
    pdf_obj* root = treeRoot(ctx, doc);
    if (!root)
        return nullptr;
    root = rootPageAsTree(ctx, doc, root);
    std::shared_ptr<PageTable> table;
    if (nodeNumber(ctx, root, true) > kExactWalkPages) {
        PageList pages(ctx);
        bool presumed = false;
        if (collectPages(ctx, doc, root, pages, true, &presumed) && !pages.empty() &&
            countAgrees(ctx, doc, pages)) {
            if (presumed)
                table = onDemandTable(ctx, pages, openIndex());
            if (!table)
                table = std::make_shared<PageTable>(readAllFacts(ctx, pages));
        }
    }
    if (!table) {
        PageList pages(ctx);
        const bool sound = collectPages(ctx, doc, root, pages, false, nullptr);
        // A tree whose counts lie or that had to be pruned is replaced by the pages found;
        // MuPDF's page numbers then follow the list (each lookup is a scan of it).
        const bool usable = !pages.empty() &&
                            ((sound && countAgrees(ctx, doc, pages)) ||
                             (flattenTree(ctx, root, doc, pages) && countAgrees(ctx, doc, pages)));
        if (usable)
            table = std::make_shared<PageTable>(readAllFacts(ctx, pages));
    }
    pdf_drop_obj(ctx, root);
    return table;
}

void dropDocument(fz_context* ctx, pdf_document* doc) {
    fz_try(ctx) {
        pdf_drop_document(ctx, doc);
    }
    fz_catch(ctx) {}
}

// Largest pixel buffer a render may ask for.
constexpr std::int64_t kMaxBitmapBytes = std::int64_t{1} << 30;

// A page drawn into a top-down buffer of 24-bit RGB or 32-bit BGR-and-255 pixels with rows aligned
// to 4 bytes (malloc'ed).
struct DrawnPage {
    std::int32_t result = kPdfOk;
    unsigned char* buffer = nullptr;
    int width = 0, height = 0, stride = 0;
};

// The size of the page's displayed area (its CropBox, rotated) at scale; at least one pixel each
// way, so a sliver of a page still gives a bitmap. False when the bitmap would be too large.
bool bitmapSize(const fz_irect& area, int bytesPerPixel, DrawnPage* out) {
    const std::int64_t width = std::max<std::int64_t>(1, std::int64_t{area.x1} - area.x0);
    const std::int64_t height = std::max<std::int64_t>(1, std::int64_t{area.y1} - area.y0);
    const std::int64_t stride = (width * bytesPerPixel + 3) / 4 * 4;
    if (width > INT32_MAX / 4 || height > INT32_MAX || stride * height > kMaxBitmapBytes)
        return false;
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->stride = static_cast<int>(stride);
    return true;
}

// Loads the page once, sizes the bitmap from its bounds and draws it on white. With `rgb32`, the
// pixels are blue, green, red and an alpha that the opaque white background keeps at 255.
void drawPage(fz_context* ctx, pdf_document* doc, int index, float scale, bool rgb32,
              DrawnPage* out) {
    fz_page* volatile page = nullptr;
    fz_pixmap* volatile pix = nullptr;
    fz_device* volatile dev = nullptr;
    unsigned char* volatile buffer = nullptr;
    volatile std::int32_t result = kPdfOk;
    fz_try(ctx) {
        page = fz_load_page(ctx, &doc->super, index);
        const fz_irect area =
            fz_round_rect(fz_transform_rect(fz_bound_page(ctx, page), fz_scale(scale, scale)));
        if (!bitmapSize(area, rgb32 ? 4 : 3, out)) {
            result = kPdfErrBadArgument;
        } else {
            const auto size = static_cast<std::size_t>(out->stride) * out->height;
            buffer = static_cast<unsigned char*>(std::malloc(size));
            if (!buffer)
                fz_throw(ctx, FZ_ERROR_MEMORY, "bitmap of %zu bytes", size);
            std::memset(buffer, 0xFF, size);
            pix = fz_new_pixmap_with_data(ctx, rgb32 ? fz_device_bgr(ctx) : fz_device_rgb(ctx),
                                          out->width, out->height, nullptr, rgb32 ? 1 : 0,
                                          out->stride, buffer);
            dev = fz_new_draw_device(ctx, fz_identity, pix);
            // Shift the drawing so the area's top-left pixel is the buffer's first one.
            const fz_matrix ctm =
                fz_concat(fz_scale(scale, scale),
                          fz_translate(static_cast<float>(-area.x0), static_cast<float>(-area.y0)));
            fz_run_page(ctx, page, dev, ctm, nullptr);
            fz_close_device(ctx, dev);
        }
    }
    fz_always(ctx) {
        fz_drop_device(ctx, dev);
        fz_drop_pixmap(ctx, pix);
        fz_drop_page(ctx, page);
    }
    fz_catch(ctx) {
        std::free(buffer);
        buffer = nullptr;
        result = kPdfErrRender;
    }
    out->result = result;
    out->buffer = buffer;
}

// Loads path (UTF-16) into the viewer; password null means "none given".
std::int32_t loadFile(PdfViewerHandle handle, const char16_t* path, const char* password) {
    std::shared_ptr<Viewer> viewer = findViewer(handle);
    if (!viewer)
        return kPdfErrBadHandle;

    // Whatever happens next, the previous document is gone.
    std::lock_guard lock(viewer->docMutex);
    viewer->setPageTable(nullptr);
    viewer->dropDocument();

    if (path == nullptr)
        return kPdfErrBadArgument;
    const std::optional<std::string> utf8Path = Utf16ToUtf8(path);
    if (!utf8Path || utf8Path->empty())
        return kPdfErrOpenFile;
    fz_context* ctx = threadContext();
    if (!ctx)
        return kPdfErrRender;

    std::int32_t result = kPdfOk;
    pdf_document* doc = openDocument(ctx, utf8Path->c_str(), &result);
    if (!doc)
        return result;
    const bool encrypted = needsPassword(ctx, doc);
    std::string opener;
    if (encrypted) {
        bool opened = false;
        if (password != nullptr)
            for (const std::string& candidate : PasswordSpellings(password))
                if ((opened = authenticate(ctx, doc, candidate.c_str()))) {
                    opener = candidate;
                    break;
                }
        if (!opened) {
            dropDocument(ctx, doc);
            return kPdfErrEncrypted;
        }
    }
    // The index document is the same file opened again, with the password that opened it.
    const auto openIndex = [&]() -> pdf_document* {
        std::int32_t ignored = kPdfOk;
        pdf_document* index = openDocument(ctx, utf8Path->c_str(), &ignored);
        if (index && encrypted && !authenticate(ctx, index, opener.c_str())) {
            dropDocument(ctx, index);
            index = nullptr;
        }
        return index;
    };
    std::shared_ptr<PageTable> pages = readPages(ctx, doc, openIndex);
    if (!pages) {
        dropDocument(ctx, doc);
        return kPdfErrDamaged;
    }
    viewer->doc = doc;
    viewer->setPageTable(std::move(pages));
    return kPdfOk;
}

double boxCoordinate(PdfViewerHandle handle, std::int32_t page, const char* box, int which) {
    std::shared_ptr<Viewer> viewer = findViewer(handle);
    if (!viewer)
        return 0.0;
    const std::optional<PageFacts> facts = factsOf(viewer->pageTable().get(), page);
    if (!facts)
        return 0.0;
    const Box* b = &facts->media;
    if (box != nullptr && std::strcmp(box, "media") != 0 &&
        (std::strcmp(box, "crop") == 0 || std::strcmp(box, "bleed") == 0 ||
         std::strcmp(box, "trim") == 0 || std::strcmp(box, "art") == 0))
        b = &facts->crop;
    switch (which) {
    case 0:
        return b->x0;
    case 1:
        return b->x1;
    case 2:
        return b->y0;
    default:
        return b->y1;
    }
}

std::int32_t setFlag(PdfViewerHandle handle, std::atomic<int> Viewer::*flag, std::int32_t value) {
    std::shared_ptr<Viewer> viewer = findViewer(handle);
    if (!viewer)
        return kPdfErrBadHandle;
    ((*viewer).*flag).store(value);
    return kPdfOk;
}

} // namespace

std::int32_t pdfInitLibrary(const char* configPath) {
    setCurrentEngineConfig(readEngineConfigFile(configPath));
    mupdf::baseContext();
    return kPdfOk;
}

std::int32_t pdfCreateViewer(PdfViewerHandle* handle, void* /*window*/) {
    if (handle == nullptr)
        return kPdfErrBadArgument;
    auto viewer = std::make_shared<Viewer>();
    std::lock_guard lock(gRegistryMutex);
    do {
        gLastHandle = gLastHandle == INT32_MAX ? 1 : gLastHandle + 1;
    } while (gViewers.count(gLastHandle) != 0);
    gViewers.emplace(gLastHandle, std::move(viewer));
    *handle = gLastHandle;
    return kPdfOk;
}

std::int32_t pdfDestroyViewer(PdfViewerHandle handle) {
    std::shared_ptr<Viewer> viewer;
    {
        std::lock_guard lock(gRegistryMutex);
        auto it = gViewers.find(handle);
        if (it == gViewers.end())
            return kPdfErrBadHandle;
        viewer = std::move(it->second);
        gViewers.erase(it);
    }
    // The document goes with the last reference: here, or at the end of a render still running.
    return kPdfOk;
}

std::int32_t pdfShowPasswordDialog(PdfViewerHandle handle, std::int32_t show) {
    return setFlag(handle, &Viewer::showPasswordDialog, show);
}

std::int32_t pdfLoadFileW(PdfViewerHandle handle, const char16_t* path) {
    return loadFile(handle, path, nullptr);
}

std::int32_t pdfLoadFileWithPasswordW(PdfViewerHandle handle, const char16_t* path,
                                      const char* password) {
    return loadFile(handle, path, password ? password : "");
}

std::int32_t pdfEnableHyperlinks(PdfViewerHandle handle, std::int32_t enable) {
    return setFlag(handle, &Viewer::hyperlinks, enable);
}

std::int32_t pdfSetContinuousMode(PdfViewerHandle handle, std::int32_t continuous) {
    return setFlag(handle, &Viewer::continuous, continuous);
}

std::int32_t pdfEnableRedraw(PdfViewerHandle handle, std::int32_t enable) {
    return setFlag(handle, &Viewer::redraw, enable);
}

std::int32_t pdfGetNumPages(PdfViewerHandle handle) {
    std::shared_ptr<Viewer> viewer = findViewer(handle);
    if (!viewer)
        return 0;
    const std::shared_ptr<PageTable> pages = viewer->pageTable();
    return pages ? static_cast<std::int32_t>(pages->size()) : 0;
}

std::int32_t pdfGetPageRotation(PdfViewerHandle handle, std::int32_t page) {
    std::shared_ptr<Viewer> viewer = findViewer(handle);
    if (!viewer)
        return 0;
    const std::optional<PageFacts> facts = factsOf(viewer->pageTable().get(), page);
    return facts ? facts->rotation : 0;
}

double pdfGetPageBoxXMin(PdfViewerHandle handle, std::int32_t page, const char* box) {
    return boxCoordinate(handle, page, box, 0);
}

double pdfGetPageBoxXMax(PdfViewerHandle handle, std::int32_t page, const char* box) {
    return boxCoordinate(handle, page, box, 1);
}

double pdfGetPageBoxYMin(PdfViewerHandle handle, std::int32_t page, const char* box) {
    return boxCoordinate(handle, page, box, 2);
}

double pdfGetPageBoxYMax(PdfViewerHandle handle, std::int32_t page, const char* box) {
    return boxCoordinate(handle, page, box, 3);
}

std::int32_t pdfConvertPageToBitmap2(PdfViewerHandle handle, std::int32_t page, double dpi,
                                     std::int32_t mode, PdfBitmap* bitmap) {
    if (bitmap != nullptr)
        *bitmap = PdfBitmap{};
    if (bitmap == nullptr || (mode != kPdfBitmapModeRgb24 && mode != kPdfBitmapModeRgb32) ||
        !std::isfinite(dpi) || dpi <= 0.0 || dpi > 3000.0)
        return kPdfErrBadArgument;
    std::shared_ptr<Viewer> viewer = findViewer(handle);
    if (!viewer)
        return kPdfErrBadHandle;
    fz_context* ctx = threadContext();
    if (!ctx)
        return kPdfErrRender;

    std::lock_guard lock(viewer->docMutex);
    if (!viewer->doc)
        return kPdfErrBadHandle;
    const std::shared_ptr<PageTable> pages = viewer->pageTable();
    if (!pages || page < 1 || static_cast<std::size_t>(page) > pages->size())
        return kPdfErrBadPage;

    DrawnPage drawn;
    drawPage(ctx, viewer->doc, page - 1, static_cast<float>(dpi / 72.0),
             mode == kPdfBitmapModeRgb32, &drawn);
    if (drawn.result != kPdfOk)
        return drawn.result;
    bitmap->width = drawn.width;
    bitmap->height = drawn.height;
    bitmap->stride = drawn.stride;
    bitmap->pixels = drawn.buffer;
    return kPdfOk;
}

void pdfFreeMemory(void* buffer) {
    std::free(buffer);
}

} // namespace plyfold
