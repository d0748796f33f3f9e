// The splicing calls declared in XpdfSplice.h, implemented over qpdf (the navigation passes live
// in the Splice*.cpp files beside it).

#include "platform/splice/XpdfSplice.h"

#include "platform/Utf16Text.h"
#include "platform/splice/OutputTemporaries.h"
#include "platform/splice/SpliceFieldLooks.h"
#include "platform/splice/SpliceNavigation.h"
#include "platform/splice/SpliceText.h"
#include "platform/splice/SpliceWalk.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A handle keeps at most this many messages, so a hostile file cannot grow the log without end.
constexpr std::size_t maxMessages = 200;

// Nesting of page-tree nodes beyond which a file is taken as unreadable.
constexpr int maxPageTreeDepth = 256;

// True when a page-tree dictionary is an intermediate node rather than a page: its /Type is
// /Pages, or it has no /Type, a /Kids entry and no /MediaBox. The viewer layer tells them apart
// the same way, so that both count the same pages.
bool isPageTreeNode(QPDFObjectHandle dict) {
    QPDFObjectHandle type = dict.getKey("/Type");
    if (!type.isNull()) {
        return type.isName() && type.getName() == "/Pages";
    }
    return dict.hasKey("/Kids") && !dict.hasKey("/MediaBox");
}

// Rebuilds, in memory only, a document's page tree as one node holding every page in order, each
// page with the attributes it inherited from its ancestors. A hostile tree cannot then trip up the
// library's own walk: nodes reached a second time (loops, a node listed twice) are entered once,
// counts are not trusted, and the walk keeps its own stack however deep the tree. A page listed
// twice stays twice, as readers show it. What readers show is what is kept, and the viewer layer
// reads a tree by the same rule: a kid that is no dictionary (a number, a reference to a missing
// object) is left out, as is a node nested more than maxPageTreeDepth deep, and a catalog whose
// /Pages is itself a page holds that one page. Throws when no page is left, or when a kid names
// an object the file holds that cannot be read.
void flattenPageTree(QPDF& pdf) {
    static const char* const inheritable[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};
    struct Frame {
        std::vector<QPDFObjectHandle> kids;
        std::size_t next = 0;
        std::map<std::string, QPDFObjectHandle> inherited;
    };
    QPDFObjectHandle top = pdf.getRoot().getKey("/Pages");
    if (!top.isDictionary()) {
        throw std::runtime_error("the file has no page tree");
    }
    std::vector<QPDFObjectHandle> pages;
    std::set<QPDFObjGen> entered;
    if (top.isIndirect()) {
        entered.insert(top.getObjGen());
    }
    if (!isPageTreeNode(top)) {
        // The tree is a single page: the one node is made for it below.
        pages.push_back(top.isIndirect() ? top : pdf.makeIndirectObject(top));
        top = QPDFObjectHandle::newNull();
    }
    const auto frameOf = [](QPDFObjectHandle node, std::map<std::string, QPDFObjectHandle> from) {
        Frame frame;
        for (const char* key : inheritable) {
            if (node.hasKey(key) && !node.getKey(key).isNull()) {
                from[key] = node.getKey(key);
            }
        }
        frame.inherited = std::move(from);
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (kids.isArray()) {
            frame.kids = kids.getArrayAsVector();
        }
        return frame;
    };
    std::optional<std::map<QPDFObjGen, QPDFXRefEntry>> held; // the file's objects, when needed
    std::vector<Frame> stack;
    if (pages.empty()) {
        stack.push_back(frameOf(top, {}));
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.kids.size()) {
            stack.pop_back();
            continue;
        }
        QPDFObjectHandle kid = frame.kids[frame.next++];
        if (!kid.isDictionary()) {
            // A kid naming an object that the file holds but that cannot be read is a damaged
            // page, not a stray entry: leaving it out would shift every later page's number.
            if (kid.isIndirect() && kid.isNull()) {
                if (!held) {
                    held = pdf.getXRefTable();
                }
                if (held->count(kid.getObjGen()) != 0) {
                    throw std::runtime_error("a page of the file cannot be read");
                }
            }
            continue; // no page, and no node of pages
        }
        if (isPageTreeNode(kid)) {
            if (kid.isIndirect() && !entered.insert(kid.getObjGen()).second) {
                continue; // a loop, or a node listed twice
            }
            if (static_cast<int>(stack.size()) >= maxPageTreeDepth) {
                continue; // deeper than any real file nests
            }
            Frame child = frameOf(kid, frame.inherited);
            stack.push_back(std::move(child));
            continue;
        }
        if (QPDFObjectHandle type = kid.getKey("/Type");
            !type.isNull() && !(type.isName() && type.getName() == "/Page")) {
            // A dictionary of another kind listed as a page (a font, say) is shown as a page,
            // but stays what it is for whatever else uses it: the page is a copy of it.
            kid = pdf.makeIndirectObject(kid.shallowCopy());
        }
        for (const auto& [key, value] : frame.inherited) {
            if (!kid.hasKey(key) || kid.getKey(key).isNull()) {
                kid.replaceKey(key, value);
            }
        }
        if (!kid.isIndirect()) {
            kid = pdf.makeIndirectObject(kid);
        }
        pages.push_back(kid);
    }
    if (pages.empty()) {
        throw std::runtime_error("the file has no pages");
    }
    // The tree's own top node becomes the one node when it is an object of its own: making a new
    // object would first have the library read every object of the file, looking for references
    // to missing ones, even when a few pages are all that is taken from it.
    QPDFObjectHandle flat = top;
    if (top.isIndirect()) {
        for (const std::string& key : top.getKeys()) {
            top.removeKey(key);
        }
    } else {
        flat = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    }
    flat.replaceKey("/Type", QPDFObjectHandle::newName("/Pages"));
    flat.replaceKey("/Kids", QPDFObjectHandle::newArray(pages));
    flat.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pages.size())));
    for (QPDFObjectHandle& page : pages) {
        page.replaceKey("/Parent", flat);
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        // The library's own walk takes any dictionary with /Kids for a node; a page keeps none.
        page.removeKey("/Kids");
    }
    pdf.getRoot().replaceKey("/Pages", flat);
}

// Reads every object that the given pages reach (not other pages, nor the page tree), so that
// copying them later finds them parsed. Only a cache is filled: what cannot be read is left for
// the copy to meet and report.
void readReachable(const std::vector<QPDFObjectHandle>& pages) {
    std::set<QPDFObjGen> seen;
    for (const QPDFObjectHandle& page : pages) {
        seen.insert(page.getObjGen());
    }
    plyfold::splice::walkReachable(
        pages,
        [&](QPDFObjectHandle& item) {
            return seen.insert(item.getObjGen()).second && !item.isPageObject();
        },
        "/Parent");
}

void addMessage(std::vector<std::string>& log, std::string text) {
    if (log.size() < maxMessages) {
        log.push_back(std::move(text));
    }
}

thread_local std::string lastError;

// Records why a call fails, in the handle's log (when there is one) and as the thread's last error.
void noteFailure(std::vector<std::string>* log, std::string text) {
    lastError = text;
    if (log) {
        addMessage(*log, std::move(text));
    }
}

// Moves the library's pending warnings of one document into a handle's log; returns how many.
// `first`, when given and still empty, receives the text of the first of them (the log itself may
// be full).
std::size_t collectWarnings(QPDF& pdf, std::vector<std::string>& log,
                            std::string* first = nullptr) {
    const std::vector<QPDFExc> warnings = pdf.getWarnings();
    for (const QPDFExc& warning : warnings) {
        if (first && first->empty()) {
            *first = warning.what();
        }
        addMessage(log, warning.what());
    }
    return warnings.size();
}

// One opened input file. Shared by its input handle and by every output that copied pages from it,
// because the output reads the copied stream data from this document while it is written.
struct InputDoc {
    // Shared with the output that took this document as its own (see adoptAsOutput).
    std::shared_ptr<QPDF> pdf;
    fs::path path;
    // The page objects, in order; read from the page tree on first use, so that an open that only
    // asks about encryption does not walk every page. Throws when the tree cannot be read.
    // A tree that could not be read is not read again (the failed walk may have changed it); the
    // same failure is thrown every time.
    const std::vector<QPDFObjectHandle>& pages() {
        if (adoptedPages) {
            return *adoptedPages;
        }
        if (!pagesRead) {
            if (pagesError) {
                throw std::runtime_error(*pagesError);
            }
            try {
                flattenPageTree(*pdf);
            } catch (const std::exception& e) {
                pagesError = e.what();
                throw;
            }
            pagesRead = true;
        }
        return pdf->getAllPages();
    }
    bool pagesRead = false;
    std::optional<std::string> pagesError;
    // Once an output took this document as its own, the document's page tree is the output's: its
    // own pages, as they were, are kept here.
    std::optional<std::vector<QPDFObjectHandle>> adoptedPages;
    const void* adoptedBy = nullptr;
    // What a second opening of the file needs: the password that opened it, and the identity of
    // the file that was read.
    std::optional<std::string> password;
    std::optional<plyfold::splice::FileIdentity> identity;
    // Reads the document's navigation from a second opening of its file while its pages are
    // copied; handed to the first output that takes pages from it.
    std::shared_ptr<plyfold::splice::AsideReader> aside;
    // The named destinations, read ahead with the pages when no reader aside reads them; handed to
    // the first output that takes pages from it.
    std::optional<std::map<std::string, QPDFObjectHandle>> names;
    // Standard security: the file's restrictions bind unless a password opened it (the owner
    // password lifts them; a user password that had to be typed is taken as the right to copy).
    bool copyAllowed = true;
    std::unique_ptr<QPDFAcroFormDocumentHelper> forms; // made on first use
    // Whether the form's looks were prepared for copying, and whether the file still asks readers
    // to redraw its fields afterwards (its looks could not be drawn here).
    bool appearancesPrepared = false;
    bool asksRedraw = false;
    std::vector<std::string> log;

    // Draws the looks of the fields that the file asks readers to draw, in this document before
    // its pages are copied, so that the copies carry them. The file keeps asking readers to redraw
    // when a look could not be drawn as a reader would draw it: a form that readers redraw is
    // better than one whose drawn looks lose the values.
    void prepareAppearances() {
        if (appearancesPrepared) {
            return;
        }
        appearancesPrepared = true;
        QPDFAcroFormDocumentHelper& helper = formHelper();
        if (!helper.getNeedAppearances()) {
            return;
        }
        bool drawn = false;
        try {
            drawn = plyfold::splice::drawFieldLooks(helper, log);
        } catch (const std::exception& e) {
            addMessage(log, std::string("cannot draw the looks of form fields: ") + e.what());
        }
        // (Set either way: the library's drawing clears the request.)
        helper.setNeedAppearances(!drawn);
        asksRedraw = !drawn;
    }

    QPDFAcroFormDocumentHelper& formHelper() {
        if (!forms) {
            forms = std::make_unique<QPDFAcroFormDocumentHelper>(*pdf);
        }
        return *forms;
    }
};

struct Encryption {
    std::string ownerPassword;
    std::string userPassword;
    std::uint32_t permissions = 0;
};

// Runs body and turns every exception into the fallback result plus a message in log. This is the
// only place where the layer catches; every public call runs inside it, so nothing thrown below
// (the PDF library's exceptions, file system errors, memory exhaustion) crosses the boundary.
template <typename Result, typename Body>
Result trapErrors(std::vector<std::string>* log, Result fallback, Body&& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        noteFailure(log, e.what());
    } catch (...) {
        noteFailure(log, "unknown error");
    }
    return fallback;
}

// Thrown when the progress report asks to stop.
struct Stopped : std::runtime_error {
    Stopped() : std::runtime_error("stopped on request") {}
};

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

} // namespace

namespace plyfold {

struct XpdfSpliceInputObject {
    std::shared_ptr<InputDoc> doc;
};

struct XpdfSpliceOutputObject {
    // An empty document, or the first input's own when the output took it (see adoptAsOutput).
    std::shared_ptr<QPDF> pdf;
    bool adopted = false;
    fs::path target;
    std::string version;
    std::optional<Encryption> encryption;
    bool failed = false; // set when a request could not be honoured; the output is then not written
    std::string failure; // why the first such request failed: what closing the output reports
    std::vector<std::shared_ptr<InputDoc>> sources;
    std::map<unsigned long long, std::set<QPDFObjGen>> copiedPages; // by source document id
    std::unique_ptr<QPDFAcroFormDocumentHelper> forms;
    // Outlines, links, named destinations and page labels of the inputs, rebuilt at close.
    splice::Navigation navigation;
    std::vector<std::string> log;
    plyfold::XpdfSpliceProgress progress;
    long long pagesCopied = 0;
    // Equal objects are folded as each input is closed, so that the copies of what the output
    // already holds do not stay in memory until the file is written.
    std::unique_ptr<splice::ObjectFolder> folder;
    std::set<const InputDoc*> openContributors;
    // Inputs with a form that gave pages, and those of them that still ask readers to redraw.
    std::set<unsigned long long> formInputsSeen; // by the library's document id
    int formInputs = 0;
    int formInputsAskingRedraw = 0;

    // Marks the output as never to be written, keeping the reason of the first request that did
    // this: a later failure is most often a consequence of it and would hide the cause.
    void markFailed(const std::string& reason) {
        if (!failed) {
            failed = true;
            failure = reason;
        }
    }

    // Reports progress; throws Stopped when the caller asks to stop.
    void report(int stage, long long done) {
        if (progress && !progress(stage, done)) {
            throw Stopped();
        }
    }

    QPDFAcroFormDocumentHelper& formHelper() {
        if (!forms) {
            forms = std::make_unique<QPDFAcroFormDocumentHelper>(*pdf);
        }
        return *forms;
    }
};

namespace {

// Frees documents on a thread of its own, oldest first, so that neither the caller of a close nor
// the copying of the next input waits while a large document is taken apart (documents share
// nothing, so another thread may free one). When the program ends normally the thread finishes
// what it was given and is joined, so nothing is being freed while the statics go away; a program
// that ends with std::_Exit leaves the rest to the operating system.
class Reaper {
public:
    Reaper() = default;
    Reaper(const Reaper&) = delete;
    Reaper& operator=(const Reaper&) = delete;
    ~Reaper() {
        {
            std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_ready.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    // Takes the given reference; the object goes when this was its last one.
    void release(std::shared_ptr<void> object) {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(object));
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { run(); });
        }
        m_ready.notify_one();
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_ending || !m_queue.empty(); });
            if (m_queue.empty()) {
                return; // ending, and everything given is freed
            }
            std::shared_ptr<void> next = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            next.reset();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::shared_ptr<void>> m_queue;
    bool m_ending = false;
    std::thread m_thread;
};

// Made on first use, and so destroyed (and joined) before every static made earlier. Some statics
// of the PDF library are made only when a document is first freed; a document is freed here
// first, so that they exist before the reaper and still exist while it finishes its work at the
// program's end.
Reaper& reaper() {
    static Reaper& instance = []() -> Reaper& {
        {
            QPDF first;
            first.emptyPDF();
            static_cast<void>(first.getRoot().getKey("/Pages").isDictionary());
        }
        static Reaper made;
        return made;
    }();
    return instance;
}

// Inputs of at least this many pages have their navigation read aside (0: none).
std::atomic<int> asideMinPages{500};

// Files larger than this are not opened a second time: the second opening holds about as much
// memory as the first, some thirty times the file's size (200 MB for a 6.5 MB manual).
constexpr long long asideMaxFileBytes = 16LL * 1024 * 1024;

// Starts reading a large input's navigation from a second opening of its file, beside the reading
// of its pages and their copying. Not for a small input, where it costs more than it saves, nor for
// a very large file, whose second opening would cost too much memory, nor on a single processor.
// The page count is the one the file states: a hint, trusted for nothing else.
void startAsideReader(InputDoc& doc) {
    const int minPages = asideMinPages.load();
    if (minPages <= 0 || !doc.identity || doc.identity->size > asideMaxFileBytes ||
        std::thread::hardware_concurrency() < 2) {
        return;
    }
    QPDFObjectHandle count = doc.pdf->getRoot().getKey("/Pages").getKey("/Count");
    if (!count.isInteger() || count.getIntValue() < minPages) {
        return;
    }
    splice::Reopening reopening;
    reopening.path = doc.path.string();
    reopening.password = doc.password;
    reopening.identity = *doc.identity;
    reopening.readPages = [](QPDF& pdf) {
        flattenPageTree(pdf);
        return pdf.getAllPages();
    };
    reopening.dispose = [](std::shared_ptr<void> object) { reaper().release(std::move(object)); };
    // Without a reader, the navigation is read from the document itself.
    doc.aside = splice::AsideReader::start(std::move(reopening));
}

// Live handles. Every call checks its handle here first, so a stale or foreign value is refused
// instead of dereferenced. The mutex is held for the whole of each call.
std::mutex registryMutex;
std::atomic<bool> freeOnClose{true};
std::unordered_set<XpdfSpliceInputObject*> liveInputs;
std::unordered_set<XpdfSpliceOutputObject*> liveOutputs;

// The first pages an output takes make their input's document the output's own from this many
// pages on (0: never).
std::atomic<int> adoptionMinPages{500};
std::atomic<long long> adoptions{0};

// Whether the output can take doc as its own document instead of copying pages from it: it is the
// output's first input and its first pages are many, no other output is open, and the document
// has nothing the output would have to sort out from what it takes (a form, encryption, a later
// PDF version than the output's).
bool canAdopt(const XpdfSpliceOutputObject& out, InputDoc& doc, int first, int last) {
    const int minPages = adoptionMinPages.load();
    if (minPages <= 0 || last - first + 1 < minPages || out.adopted || !out.sources.empty() ||
        doc.adoptedBy || liveOutputs.size() != 1 || doc.pdf->isEncrypted() ||
        doc.formHelper().hasAcroForm()) {
        return false;
    }
    QPDFObjectHandle pages = out.pdf->getRoot().getKey("/Pages").getKey("/Kids");
    if (!pages.isArray() || pages.getArrayNItems() != 0) {
        return false;
    }
    // Most of the document: the rest of it is read and held for nothing.
    if (static_cast<std::size_t>(last - first + 1) * 10 < doc.pages().size() * 9) {
        return false;
    }
    // "1.5" against "1.6": both are one digit, a dot and one digit.
    const std::string version = doc.pdf->getPDFVersion();
    if (version.size() != out.version.size() || version > out.version ||
        doc.pdf->getExtensionLevel() != 0) {
        return false;
    }
    // Not with object numbers far beyond the objects the file has (a reference to a huge
    // number): the output's new objects would be numbered after the largest.
    const auto objects = static_cast<long long>(doc.pdf->getXRefTable().size());
    return static_cast<long long>(doc.pdf->getObjectCount()) <= 2 * objects + 1000;
}

// Makes doc's document the output's: its page tree (flat since its pages were read) is emptied
// for the output's pages, so that its pages go in without a copy, and the empty document made for
// the output goes. The document's catalog stays until the output is written (its outlines, names
// and labels are read from it when the input is let go), and then becomes the output's (see
// replaceAdoptedCatalog).
void adoptAsOutput(XpdfSpliceOutputObject& out, InputDoc& doc) {
    doc.adoptedPages = doc.pages();
    QPDF& pdf = *doc.pdf;
    QPDFObjectHandle tree = pdf.getRoot().getKey("/Pages");
    tree.replaceKey("/Kids", QPDFObjectHandle::newArray());
    tree.replaceKey("/Count", QPDFObjectHandle::newInteger(0));
    pdf.updateAllPagesCache();
    // Every object is read now, as copying the pages would have read them: what cannot be read
    // is reported with the input, and the file's stream data is all that is read when writing.
    static_cast<void>(pdf.getObjectCount());
    out.pdf = doc.pdf;
    out.forms.reset();
    out.folder = std::make_unique<splice::ObjectFolder>(pdf);
    out.adopted = true;
    doc.adoptedBy = &out;
    adoptions.fetch_add(1);
}

// Empties the catalog of an output that took an input's document, once nothing is read from it any
// more, down to what the output put there: its pages and the form it made (the input had none).
// The input's document information and identifier go too.
void replaceAdoptedCatalog(XpdfSpliceOutputObject& out) {
    QPDF& pdf = *out.pdf;
    QPDFObjectHandle root = pdf.getRoot();
    for (const std::string& key : root.getKeys()) {
        if (key != "/Pages" && key != "/AcroForm") {
            root.removeKey(key);
        }
    }
    root.replaceKey("/Type", QPDFObjectHandle::newName("/Catalog"));
    QPDFObjectHandle trailer = pdf.getTrailer();
    trailer.removeKey("/Info");
    trailer.removeKey("/ID");
    out.forms.reset();
}

XpdfSpliceInputObject* findInput(XpdfSpliceInput handle) {
    return handle && liveInputs.count(handle) ? handle : nullptr;
}

XpdfSpliceOutputObject* findOutput(XpdfSpliceOutput handle) {
    return handle && liveOutputs.count(handle) ? handle : nullptr;
}

bool isPasswordError(const QPDFExc& e) {
    return e.getErrorCode() == qpdf_e_password;
}

// Opens path with each candidate password in turn (an empty list means "no password"). Returns
// the document, or null when the file cannot be read or no candidate opens it; `refused`, when
// given, then tells the second case: the file was read, and only the password kept it closed.
std::shared_ptr<InputDoc> openDocument(const char16_t* widePath,
                                       const std::vector<std::string>& passwords,
                                       bool* refused = nullptr) {
    if (refused) {
        *refused = false;
    }
    const std::optional<std::string> utf8Path = Utf16ToUtf8(widePath);
    if (!utf8Path || utf8Path->empty()) {
        noteFailure(nullptr, "invalid path");
        return nullptr;
    }
    std::vector<std::optional<std::string>> attempts;
    if (passwords.empty()) {
        attempts.emplace_back(std::nullopt);
    } else {
        attempts.assign(passwords.begin(), passwords.end());
    }
    for (const std::optional<std::string>& password : attempts) {
        auto doc = std::make_shared<InputDoc>();
        bool wrongPassword = false;
        const bool opened = trapErrors(nullptr, false, [&] {
            try {
                doc->path = fs::path(std::u8string(utf8Path->begin(), utf8Path->end()));
                doc->pdf = std::make_shared<QPDF>();
                doc->pdf->setSuppressWarnings(true);
                // Opened here, so that the identity is of the very file the library reads.
                std::FILE* file = QUtil::safe_fopen(utf8Path->c_str(), "rb");
                doc->identity = plyfold::splice::fileIdentity(file);
                doc->password = password;
                // The library closes the file, also when it throws.
                doc->pdf->processFile(utf8Path->c_str(), file, true,
                                      password ? password->c_str() : nullptr);
                // A file without a catalog or page tree is no document; the pages themselves are
                // read when first needed.
                if (!doc->pdf->getRoot().getKey("/Pages").isDictionary()) {
                    throw std::runtime_error("the file has no page tree");
                }
                int revision = 0;
                int p = 0;
                if (doc->pdf->isEncrypted(revision, p) &&
                    !(static_cast<std::uint32_t>(p) & 0x10u)) {
                    doc->copyAllowed =
                        doc->pdf->ownerPasswordMatched() || (password && !password->empty());
                }
                collectWarnings(*doc->pdf, doc->log);
                return true;
            } catch (const QPDFExc& e) {
                wrongPassword = isPasswordError(e);
                throw;
            }
        });
        if (opened) {
            return doc;
        }
        if (!wrongPassword) {
            return nullptr; // unreadable whatever the password: stop trying
        }
    }
    if (refused) {
        *refused = true;
    }
    return nullptr;
}

// Reads the page tree, then every object that the pages of the ranges reach, so that copying
// them finds them parsed, and with any range the named destinations, which the output needs once
// the pages are copied. A tree or an object that cannot be read is left for the page count or the
// copy to report, as after a plain open.
void readAhead(InputDoc& doc, const std::vector<std::pair<int, int>>& ranges) {
    try {
        const std::vector<QPDFObjectHandle>& all = doc.pages();
        std::vector<QPDFObjectHandle> chosen;
        for (const auto& [first, last] : ranges) {
            for (long long n = std::max(first, 1);
                 n <= std::min<long long>(last, static_cast<long long>(all.size())); ++n) {
                chosen.push_back(all[static_cast<std::size_t>(n - 1)]);
            }
        }
        readReachable(chosen);
        if (!ranges.empty() && !doc.aside) {
            doc.names = splice::readNamedDestinations(*doc.pdf);
        }
    } catch (const std::exception& e) {
        addMessage(doc.log, e.what());
    } catch (...) {
        addMessage(doc.log, "unknown error");
    }
}

XpdfSpliceInput registerInput(std::shared_ptr<InputDoc> doc) {
    if (!doc) {
        return nullptr;
    }
    auto handle = std::make_unique<XpdfSpliceInputObject>();
    handle->doc = std::move(doc);
    liveInputs.insert(handle.get());
    return handle.release();
}

// True when path is the file of an open input handle.
bool openAsInput(const fs::path& path) {
    for (XpdfSpliceInputObject* input : liveInputs) {
        if (sameFile(input->doc->path, path)) {
            return true;
        }
    }
    return false;
}

// A file that is removed again unless it was kept: the temporary output on every failure path.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        if (!m_path.empty()) {
            std::error_code ec;
            fs::remove(m_path, ec);
            plyfold::temporaries::Unregister(m_path);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const fs::path& path() const { return m_path; }
    // The file was renamed into place: it is no longer temporary.
    void keep() {
        plyfold::temporaries::Unregister(m_path);
        m_path.clear();
    }

private:
    fs::path m_path;
};

// Why writing to the output file failed, as the system says it ("No space left on device", "File
// too large").
std::runtime_error writeError(const char* what, int error) {
    return std::runtime_error(std::string(what) + ": " + std::generic_category().message(error));
}

// The writer's way into the output file, through the file's buffer. The first write that fails
// keeps the system's reason, taken right after the call that failed (a buffered write that fails
// may still claim to have written everything, and only the file's error flag tells; by the next
// flush the reason would be gone), and what the writer sends after it is dropped. Nothing is
// thrown from here: the writer also finishes its pipelines from destructors, where an exception
// would end the process. The writing is stopped from its progress report instead.
class FileSink : public Pipeline {
public:
    explicit FileSink(FILE* file) : Pipeline("output file", nullptr), m_file(file) {}

    void write(unsigned char const* data, size_t length) override {
        if (m_error == 0 && length > 0 &&
            (std::fwrite(data, 1, length, m_file) != length || std::ferror(m_file))) {
            failed();
        }
    }

    void finish() override {
        if (m_error == 0 && (std::fflush(m_file) != 0 || std::ferror(m_file))) {
            failed();
        }
    }

    // Throws when a write failed, with the system's reason.
    void check() const {
        if (m_error != 0) {
            throw writeError("cannot write the output file", m_error);
        }
    }

private:
    void failed() { m_error = errno != 0 ? errno : EIO; }

    FILE* m_file;
    int m_error = 0;
};

// Writes the PDF into file; throws on any error.
void writePdf(XpdfSpliceOutputObject& output, FILE* file) {
    FileSink sink(file); // outlives the writer, which finishes it
    QPDFWriter writer(*output.pdf);
    writer.setOutputPipeline(&sink);
    // Copy stream data exactly as stored: no decoding and no recompression.
    writer.setCompressStreams(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setMinimumPDFVersion(output.version);
    // (Said either way: a document taken from an input would otherwise keep its own object
    // streams.)
    writer.setObjectStreamMode(output.version >= "1.5" ? qpdf_o_generate : qpdf_o_disable);
    if (output.encryption) {
        const Encryption& enc = *output.encryption;
        const splice::R4Permissions p = splice::r4Permissions(enc.permissions);
        const qpdf_r3_print_e print = p.printHigh  ? qpdf_r3p_full
                                      : p.printLow ? qpdf_r3p_low
                                                   : qpdf_r3p_none;
        writer.setR4EncryptionParametersInsecure(
            enc.userPassword.c_str(), enc.ownerPassword.c_str(), p.accessibility, p.extract,
            p.assemble, p.annotateAndForm, p.formFilling, p.modifyOther, print,
            /*encrypt_metadata=*/true, /*use_aes=*/true);
    }
    // Also where a failed write stops the writing, instead of the writer going on to the end.
    writer.registerProgressReporter(
        std::make_shared<QPDFWriter::FunctionProgressReporter>([&output, &sink](int percent) {
            sink.check();
            output.report(plyfold::kSpliceWriting, percent);
        }));
    writer.write();
    sink.check();
#if defined(__unix__) || defined(__APPLE__)
    // On disk before the rename, so a crash cannot leave an empty file under the final name.
    if (::fsync(fileno(file)) != 0) {
        throw writeError("cannot write the output file to disk", errno);
    }
#endif
}

// Writes the output under a temporary name in the target's folder and renames it over the target
// once it is complete. Returns true when the target now holds the new file; otherwise the target
// is as it was and the temporary file is gone.
bool writeOutput(XpdfSpliceOutputObject& output) {
    fs::path name;
    FILE* file = plyfold::temporaries::OpenBeside(output.target, "tmp", name);
    if (!file) {
        noteFailure(&output.log, "cannot create a file in the output folder");
        return false;
    }
    TemporaryFile temporary(name);
    // Asked to stop before the work of writing begins: nothing is written.
    if (!trapErrors(&output.log, false, [&] {
            output.report(plyfold::kSpliceWriting, 0);
            return true;
        })) {
        std::fclose(file);
        return false;
    }
    // Readers are asked to redraw the fields when an input with a form asked for it and its looks
    // could not all be drawn here: a redrawn look shows the value, a missing one shows nothing.
    trapErrors(&output.log, false, [&] {
        if (output.formInputs > 0 && output.forms) {
            output.formHelper().setNeedAppearances(output.formInputsAskingRedraw > 0);
        }
        return true;
    });
    // Everything that points at pages is rebuilt now that every page is in place; then equal
    // streams are stored once.
    const auto stopAsked = [&] {
        return !trapErrors(&output.log, false, [&] {
            output.report(plyfold::kSpliceWriting, 0);
            return true;
        });
    };
    trapErrors(&output.log, false, [&] {
        output.navigation.extractRemaining(output.log);
        return true;
    });
    if (output.adopted && !trapErrors(&output.log, false, [&] {
            replaceAdoptedCatalog(output);
            return true;
        })) {
        std::fclose(file);
        return false;
    }
    trapErrors(&output.log, false, [&] {
        output.navigation.finish(*output.pdf, output.log);
        return true;
    });
    if (stopAsked()) {
        std::fclose(file);
        return false;
    }
    trapErrors(&output.log, false, [&] {
        output.folder->foldRemaining();
        return true;
    });
    if (stopAsked()) {
        std::fclose(file);
        return false;
    }
    // Warnings raised while writing mean stream data that could not be read (a damaged or changed
    // input); the library then writes what it has, so such a file is incomplete and counts as
    // failed. Earlier warnings are moved out of the way first.
    collectWarnings(*output.pdf, output.log);
    for (const std::shared_ptr<InputDoc>& source : output.sources) {
        collectWarnings(*source->pdf, source->log);
    }
    bool written = trapErrors(&output.log, false, [&] {
        writePdf(output, file);
        return true;
    });
    if (std::fclose(file) != 0 && written) {
        noteFailure(&output.log, writeError("cannot close the output file", errno).what());
        written = false;
    }
    // The first of them says which data could not be read, and why.
    std::string firstWarning;
    std::size_t writeWarnings = collectWarnings(*output.pdf, output.log, &firstWarning);
    for (const std::shared_ptr<InputDoc>& source : output.sources) {
        writeWarnings += collectWarnings(*source->pdf, output.log, &firstWarning);
    }
    if (written && writeWarnings > 0) {
        noteFailure(&output.log, "input data could not be read while writing: " + firstWarning);
        written = false;
    }
    if (!written) {
        return false;
    }
    std::error_code ec;
    // Keep the permissions of a file that is being replaced.
    const fs::file_status old = fs::status(output.target, ec);
    if (!ec && fs::exists(old)) {
        fs::permissions(name, old.permissions(), ec);
    }
    fs::rename(name, output.target, ec);
    if (ec) {
        noteFailure(&output.log, "cannot replace the output file: " + ec.message());
        return false;
    }
    temporary.keep();
    return true;
}

} // namespace

bool xpdfSpliceInit() {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        return true;
    });
}

// Reading a file touches nothing shared, so it is done without the lock, which is taken only to
// register the handle: an open on a second thread then goes on while another call runs.
XpdfSpliceInput xpdfSpliceOpenInputW(const char16_t* path) {
    return trapErrors(nullptr, XpdfSpliceInput{}, [&]() -> XpdfSpliceInput {
        std::shared_ptr<InputDoc> doc = openDocument(path, {});
        std::lock_guard lock(registryMutex);
        return registerInput(std::move(doc));
    });
}

XpdfSpliceInput xpdfSpliceOpenInputWithPasswordW(const char16_t* path, const char* password) {
    return trapErrors(nullptr, XpdfSpliceInput{}, [&]() -> XpdfSpliceInput {
        std::shared_ptr<InputDoc> doc =
            openDocument(path, splice::passwordCandidates(password ? password : ""));
        std::lock_guard lock(registryMutex);
        return registerInput(std::move(doc));
    });
}

XpdfSpliceInput xpdfSpliceOpenInputForCopyW(const char16_t* path, const char* password,
                                            const std::vector<std::pair<int, int>>& ranges) {
    return trapErrors(nullptr, XpdfSpliceInput{}, [&]() -> XpdfSpliceInput {
        std::shared_ptr<InputDoc> doc =
            password ? openDocument(path, splice::passwordCandidates(password))
                     : openDocument(path, {});
        if (doc) {
            startAsideReader(*doc);
            readAhead(*doc, ranges);
        }
        std::lock_guard lock(registryMutex);
        return registerInput(std::move(doc));
    });
}

XpdfSpliceInput xpdfSpliceOpenInputExW(const char16_t* path, const char* password,
                                       XpdfSpliceOpenError* error,
                                       const std::vector<std::pair<int, int>>& ranges) {
    bool refused = false;
    XpdfSpliceInput input = trapErrors(nullptr, XpdfSpliceInput{}, [&]() -> XpdfSpliceInput {
        const std::vector<std::string> candidates =
            password ? splice::passwordCandidates(password) : std::vector<std::string>{};
        std::shared_ptr<InputDoc> doc = openDocument(path, candidates, &refused);
        if (doc) {
            // Read now, without the lock, so that opens on several threads count their pages
            // side by side.
            startAsideReader(*doc);
            readAhead(*doc, ranges);
        }
        std::lock_guard lock(registryMutex);
        return registerInput(std::move(doc));
    });
    if (error) {
        *error = input     ? XpdfSpliceOpenError::None
                 : refused ? XpdfSpliceOpenError::Password
                           : XpdfSpliceOpenError::Unreadable;
    }
    return input;
}

int xpdfSpliceGetPageCount(XpdfSpliceInput input) {
    return trapErrors(nullptr, -1, [&]() -> int {
        std::lock_guard lock(registryMutex);
        XpdfSpliceInputObject* in = findInput(input);
        if (!in) {
            return -1;
        }
        const std::size_t count = in->doc->pages().size();
        return count > static_cast<std::size_t>(std::numeric_limits<int>::max())
                   ? -1
                   : static_cast<int>(count);
    });
}

bool xpdfSpliceIsEncrypted(XpdfSpliceInput input) {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        XpdfSpliceInputObject* in = findInput(input);
        return in && in->doc->pdf->isEncrypted();
    });
}

std::uint32_t xpdfSpliceGetPermissions(XpdfSpliceInput input) {
    return trapErrors(nullptr, std::uint32_t{0}, [&]() -> std::uint32_t {
        std::lock_guard lock(registryMutex);
        XpdfSpliceInputObject* in = findInput(input);
        if (!in) {
            return 0;
        }
        int revision = 0;
        int p = 0;
        return in->doc->pdf->isEncrypted(revision, p) ? static_cast<std::uint32_t>(p) : 0xFFFFFFFFu;
    });
}

void xpdfSpliceCloseInput(XpdfSpliceInput input) {
    trapErrors(nullptr, false, [&] {
        std::lock_guard lock(registryMutex);
        if (XpdfSpliceInputObject* in = findInput(input)) {
            liveInputs.erase(in);
            // Held here while the outputs let go of it; the last holder frees it.
            std::shared_ptr<InputDoc> held = in->doc;
            const InputDoc* doc = held.get();
            delete in; // the document itself lives on while an output still needs it
            // Nothing more can be copied from it: fold what the outputs copied since their
            // inputs were last all closed.
            for (XpdfSpliceOutputObject* out : liveOutputs) {
                if (out->openContributors.erase(doc) == 0 || out->failed) {
                    continue;
                }
                // What the output needs of the document besides its pages is read now, and the
                // document is let go: copies of its stored streams carry where their data is in
                // the file, and the looks drawn in it carry their data.
                const bool released = trapErrors(
                    &out->log, false, [&] { return out->navigation.release(doc, out->log); });
                // (A document the output took as its own goes with the output.)
                if (released && doc->adoptedBy != out) {
                    std::erase_if(out->sources, [&](const std::shared_ptr<InputDoc>& source) {
                        return source.get() == doc;
                    });
                }
                if (!out->openContributors.empty() || !out->folder) {
                    continue;
                }
                const bool folded = trapErrors(&out->log, false, [&] {
                    out->folder->foldNewObjects();
                    return true;
                });
                if (!folded) {
                    out->markFailed(lastError); // half-folded: never written
                }
            }
            // A document nothing needs any more is freed beside the work that follows, which
            // for a large one takes a while.
            if (held.use_count() == 1) {
                reaper().release(std::move(held));
            }
        }
        return true;
    });
}

XpdfSpliceOutput xpdfSpliceOpenOutputW(const char16_t* path, double version) {
    return trapErrors(nullptr, XpdfSpliceOutput{}, [&]() -> XpdfSpliceOutput {
        std::lock_guard lock(registryMutex);
        if (!std::isfinite(version) || version < 1.0 || version > 2.0) {
            noteFailure(nullptr, "unsupported PDF version");
            return nullptr;
        }
        const std::optional<std::string> utf8Path = Utf16ToUtf8(path);
        if (!utf8Path || utf8Path->empty()) {
            noteFailure(nullptr, "invalid path");
            return nullptr;
        }
        auto output = std::make_unique<XpdfSpliceOutputObject>();
        const bool ready = trapErrors(nullptr, false, [&] {
            fs::path target =
                fs::absolute(fs::path(std::u8string(utf8Path->begin(), utf8Path->end())));
            std::error_code ec;
            // Write through a link to the file it names, so the link itself stays.
            if (fs::is_symlink(fs::symlink_status(target, ec))) {
                target = fs::weakly_canonical(target);
            }
            if (!target.has_filename() || fs::is_directory(target, ec) ||
                !fs::is_directory(target.parent_path(), ec)) {
                noteFailure(nullptr, "no such folder, or the path names a folder");
                return false;
            }
            if (openAsInput(target)) {
                noteFailure(nullptr, "the output file is open as an input");
                return false;
            }
            // Prove now that the folder takes a new file, so a hopeless output fails at once.
            fs::path probe;
            FILE* file = plyfold::temporaries::OpenBeside(target, "tmp", probe);
            if (!file) {
                noteFailure(nullptr, "cannot create a file in the output folder");
                return false;
            }
            std::fclose(file);
            fs::remove(probe, ec);
            plyfold::temporaries::Unregister(probe);

            char text[16];
            std::snprintf(text, sizeof text, "%.1f", version);
            output->version = text;
            output->target = std::move(target);
            output->pdf = std::make_shared<QPDF>();
            output->pdf->setSuppressWarnings(true);
            output->pdf->emptyPDF();
            output->folder = std::make_unique<splice::ObjectFolder>(*output->pdf);
            return true;
        });
        if (!ready) {
            return nullptr;
        }
        liveOutputs.insert(output.get());
        return output.release();
    });
}

bool xpdfSpliceAddPages(XpdfSpliceInput input, int first, int last, XpdfSpliceOutput output) {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        XpdfSpliceInputObject* in = findInput(input);
        XpdfSpliceOutputObject* out = findOutput(output);
        if (!in || !out) {
            return false;
        }
        InputDoc& doc = *in->doc;
        const auto count = static_cast<long long>(doc.pages().size());
        if (first < 1 || last < first || last > count) {
            noteFailure(&out->log, "page range outside the document");
            return false;
        }
        if (sameFile(doc.path, out->target)) {
            noteFailure(&out->log, "the output file is open as an input");
            return false;
        }
        if (!doc.copyAllowed) {
            noteFailure(&out->log, "the file forbids copying; its owner password is needed");
            return false;
        }
        if (doc.adoptedBy && doc.adoptedBy != out) {
            noteFailure(&out->log, "the file's pages were taken by another output");
            return false;
        }
        if (canAdopt(*out, doc, first, last) && !trapErrors(&out->log, false, [&] {
                adoptAsOutput(*out, doc);
                return true;
            })) {
            out->markFailed(lastError); // the document may be half taken: never written
            return false;
        }

        QPDFPageDocumentHelper outPages(*out->pdf);
        // (The library's own list of the pages, not the helper's, which makes a helper per page.)
        const std::size_t pagesBefore = out->pdf->getAllPages().size();
        std::set<QPDFObjGen> newFields;
        std::vector<QPDFObjectHandle> sourcePages;
        std::vector<QPDFObjectHandle> addedPages;
        const bool copied = trapErrors(&out->log, false, [&] {
            std::set<QPDFObjGen>& alreadyCopied = out->copiedPages[doc.pdf->getUniqueId()];
            const bool withForms = doc.formHelper().hasAcroForm();
            if (withForms) {
                // Copying fields copies their looks within the output, and those copies read
                // their data from the first copies when written.
                out->folder->keepStreams();
                doc.prepareAppearances();
                if (out->formInputsSeen.insert(doc.pdf->getUniqueId()).second) {
                    ++out->formInputs;
                    out->formInputsAskingRedraw += doc.asksRedraw ? 1 : 0;
                }
            }
            for (int number = first; number <= last; ++number) {
                QPDFPageObjectHelper page(doc.pages()[static_cast<std::size_t>(number - 1)]);
                sourcePages.push_back(page.getObjectHandle());
                // The same page twice in one output needs its own page object the second time.
                if (!alreadyCopied.insert(page.getObjectHandle().getObjGen()).second) {
                    page = page.shallowCopyPage();
                }
                outPages.addPage(page, false);
                QPDFObjectHandle added = out->pdf->getAllPages().back();
                addedPages.push_back(added);
                if (withForms) {
                    // Give the copy its own annotations and register its fields in the output's
                    // form, renaming any that clash with fields already there.
                    out->formHelper().fixCopiedAnnotations(added, page.getObjectHandle(),
                                                           doc.formHelper(), &newFields);
                }
                out->report(plyfold::kSpliceCopying, out->pagesCopied + (number - first) + 1);
            }
            return true;
        });
        collectWarnings(*doc.pdf, doc.log);
        collectWarnings(*out->pdf, out->log);
        if (!copied) {
            // Why the copy failed; an undo that fails too does not replace it.
            const std::string reason = lastError;
            // Take back what this call added, so the output is as it was before the call.
            const bool undone = trapErrors(&out->log, false, [&] {
                std::vector<QPDFPageObjectHelper> all = outPages.getAllPages();
                for (std::size_t i = all.size(); i > pagesBefore; --i) {
                    outPages.removePage(all[i - 1]);
                }
                if (!newFields.empty()) {
                    out->formHelper().removeFormFields(newFields);
                }
                return true;
            });
            if (!undone) {
                out->markFailed(reason);
            }
            lastError = reason;
            return false;
        }
        out->pagesCopied += last - first + 1;
        out->openContributors.insert(in->doc.get());
        if (std::find(out->sources.begin(), out->sources.end(), in->doc) == out->sources.end()) {
            out->sources.push_back(in->doc);
        }
        const bool recorded = trapErrors(&out->log, false, [&] {
            splice::Contribution& contribution = out->navigation.contribution(
                in->doc.get(), *doc.pdf, splice::pathToUtf8(doc.path.stem()), doc.pages(),
                std::move(doc.aside));
            // Names read ahead from this document serve an extraction from this document, not
            // one from a reader's own opening.
            if (doc.names && !contribution.aside && !contribution.sourceNamesRead) {
                contribution.sourceNames = std::move(*doc.names);
                contribution.sourceNamesRead = true;
            }
            doc.names.reset();
            out->navigation.recordPages(contribution, first, sourcePages, addedPages,
                                        static_cast<long long>(pagesBefore));
            return true;
        });
        if (!recorded) {
            out->markFailed(lastError); // the pages are in, but what points at them is lost
            return false;
        }
        return true;
    });
}

bool xpdfSpliceSetEncryption(XpdfSpliceOutput output, int mode, const char* ownerPassword,
                             const char* userPassword, std::uint32_t permissions) {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        XpdfSpliceOutputObject* out = findOutput(output);
        if (!out) {
            return false;
        }
        if (mode != 2 || out->encryption) {
            // Never write unprotected (or protected other than asked) when protection was
            // requested.
            noteFailure(&out->log, "unsupported encryption request");
            out->markFailed(lastError);
            return false;
        }
        Encryption enc;
        enc.ownerPassword = splice::passwordForR4(ownerPassword ? ownerPassword : "");
        enc.userPassword = splice::passwordForR4(userPassword ? userPassword : "");
        enc.permissions = permissions;
        out->encryption = std::move(enc);
        return true;
    });
}

bool xpdfSpliceCloseOutput(XpdfSpliceOutput output) {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        XpdfSpliceOutputObject* out = findOutput(output);
        if (!out) {
            return false;
        }
        liveOutputs.erase(out);
        std::unique_ptr<XpdfSpliceOutputObject> owned(out);
        if (out->failed) {
            // The reason of the request that failed it, which the caller may not have asked for
            // (a fold on closing an input reports to nobody).
            noteFailure(nullptr, out->failure.empty()
                                     ? "an earlier request on this output failed; nothing written"
                                     : out->failure);
            return false;
        }
        const bool written = writeOutput(*out);
        if (!freeOnClose.load()) {
            // Left to the operating system: the caller ends the process next.
            static_cast<void>(owned.release());
        } else {
            // Freed, with the inputs only it still holds, beside whatever the caller does next:
            // the file is complete and nothing waits for the memory.
            reaper().release(std::shared_ptr<XpdfSpliceOutputObject>(std::move(owned)));
        }
        return written;
    });
}

void xpdfSpliceSetAsideReading(int minPages) {
    asideMinPages.store(minPages);
}

void xpdfSpliceSetBaseAdoption(int minPages) {
    adoptionMinPages.store(minPages);
}

long long xpdfSpliceAdoptionCount() {
    return adoptions.load();
}

long long xpdfSpliceReadAsideCount() {
    return splice::readAsideCount();
}

void xpdfSpliceSetFreeOnClose(bool free) {
    freeOnClose.store(free);
}

bool xpdfSpliceSetOutlines(XpdfSpliceOutput output, bool outlines) {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        XpdfSpliceOutputObject* out = findOutput(output);
        if (!out) {
            return false;
        }
        out->navigation.setOutlines(outlines);
        return true;
    });
}

bool xpdfSpliceSetProgress(XpdfSpliceOutput output, XpdfSpliceProgress report) {
    return trapErrors(nullptr, false, [&]() -> bool {
        std::lock_guard lock(registryMutex);
        XpdfSpliceOutputObject* out = findOutput(output);
        if (!out) {
            return false;
        }
        out->progress = std::move(report);
        return true;
    });
}

std::string xpdfSpliceLastError() {
    return trapErrors(nullptr, std::string{}, [] { return lastError; });
}

std::vector<std::string> xpdfSpliceWarnings(const void* handle) {
    std::lock_guard lock(registryMutex);
    for (XpdfSpliceInputObject* in : liveInputs) {
        if (in == handle) {
            return in->doc->log;
        }
    }
    for (XpdfSpliceOutputObject* out : liveOutputs) {
        if (out == handle) {
            return out->log;
        }
    }
    return {};
}

} // namespace plyfold
