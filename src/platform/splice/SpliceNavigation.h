#pragma once

// What an output keeps of its inputs besides the pages: outlines, links and named destinations,
// page labels. Each opened input that gives pages to an output is one contribution; the pages it
// gave are recorded as they are copied, and everything that points at pages is rebuilt for the
// output just before it is written, once every page is known.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace plyfold::splice {

// An outline item as the output will hold it: title, destination on an output page (or an
// action kept as it was), look, and children.
struct OutlineItem {
    QPDFObjectHandle title;  // a string, copied byte for byte
    QPDFObjectHandle dest;   // explicit destination in the output; unset or null for none
    QPDFObjectHandle action; // an action kept as it was (web, named, other file); unset or null
    QPDFObjectHandle color;
    QPDFObjectHandle flags;
    bool open = false;
    std::vector<OutlineItem> children;
};

// A copied link whose target is set once every input's named destinations are known.
struct PendingLink {
    QPDFObjectHandle annotation; // the copy, in the output
    bool isAction = false;       // a GoTo action (/A) rather than a /Dest entry
    bool byName = false;         // the target is a named destination of the source: `name`
    std::string name;
    QPDFObjectHandle dest; // otherwise the explicit destination in the output, or null
};

// One opened input's share of an output.
struct Contribution {
    const void* key = nullptr; // the opened input it came from; null once its source is let go
    QPDF* source = nullptr;    // null once what the output needs of it has been read
    std::string title;         // UTF-8: the file name without folder and extension
    std::vector<QPDFObjectHandle> sourcePages; // every page of the input, in order
    // Source page -> its first copy in the output.
    std::map<QPDFObjGen, QPDFObjectHandle> outputPage;
    QPDFObjectHandle firstOutputPage;
    // Each copied annotation with the source annotation it was copied from.
    std::vector<std::pair<QPDFObjectHandle, QPDFObjectHandle>> annotations;
    // Runs of consecutive source pages: first source index, last source index, first output index.
    struct Run {
        long long firstSource;
        long long lastSource;
        long long firstOutput;
    };
    std::vector<Run> runs;
    // The source's named destinations ("/Name" for the old dictionary, the bytes for the name
    // tree) with their explicit source destination, and the output name of those carried.
    std::map<std::string, QPDFObjectHandle> sourceNames;
    std::map<std::string, std::string> names;

    // What the output keeps, read from the source once no more pages can come from it, in output
    // terms, so that the source can then be closed: its named destinations that lead into the
    // output, its links, its outline, and its page labels (pairs of output index and label).
    bool extracted = false;
    std::vector<std::pair<std::string, QPDFObjectHandle>> mappedNames;
    std::vector<PendingLink> links;
    std::vector<OutlineItem> outline;
    std::vector<std::pair<long long, QPDFObjectHandle>> labels;
    bool labelled = false;
};

class Navigation {
public:
    // The contribution of the opened input key, created on first use (in output order).
    Contribution& contribution(const void* key, QPDF& source, const std::string& title,
                               const std::vector<QPDFObjectHandle>& sourcePages);

    // Records pages just appended to the output: sourcePages[i] (1-based page first + i of the
    // source) became outputPages[i]; firstOutputIndex is the 0-based output index of the first.
    void recordPages(Contribution& c, int first, const std::vector<QPDFObjectHandle>& sourcePages,
                     const std::vector<QPDFObjectHandle>& outputPages, long long firstOutputIndex);

    void setOutlines(bool on) { m_outlines = on; }

    // Reads what the output needs of the input key, which gives no more pages, so that it can
    // be closed. Throws on failure. True when key had a contribution.
    bool release(const void* key, std::vector<std::string>& log);

    // Rebuilds links, named destinations, outlines and page labels in output. Throws on failure.
    void finish(QPDF& output, std::vector<std::string>& log);

private:
    std::vector<Contribution> m_contributions;
    bool m_outlines = true;
};

// Reads c's share from its source (see Contribution), after which the source is not needed. Each
// part stands alone: a damaged part of the source costs that part, noted in log.
void extractFromSource(Contribution& c, bool outlines, std::vector<std::string>& log);

// The kept items of c's source outline, in output terms.
std::vector<OutlineItem> readOutline(Contribution& c);

// c's page labels for its runs, in output terms.
void readPageLabels(Contribution& c);

// Maps a destination of c's source (explicit array, or a name or string naming one) to the
// output: an explicit array on the output page, the output's name for it when byName is true and
// the destination was a name, or null when it leads to a page that is not in the output.
QPDFObjectHandle mapDestination(Contribution& c, QPDFObjectHandle dest, bool byName);

// The destination of a GoTo action or /Dest entry of a dictionary (outline item or annotation);
// null when it has none. hasTarget tells whether it had one at all (a page or a name).
QPDFObjectHandle localDestination(QPDFObjectHandle item, bool& hasTarget);

// c's named destinations that lead into the output, and its copied links. Called on extraction.
void readLinks(Contribution& c);
// Builds the output's named destinations and fixes every copied link. Called by finish.
void carryLinks(QPDF& output, std::vector<Contribution>& contributions);
// Switches off every link of the output that leads to a page outside it (whatever could not be
// paired with its source annotation). Called by finish.
void disableStrayLinks(QPDF& output);
// Builds one top-level outline entry per contribution. Called by finish.
void buildOutlines(QPDF& output, std::vector<Contribution>& contributions);
// Carries page labels for the kept pages. Called by finish.
void carryPageLabels(QPDF& output, std::vector<Contribution>& contributions);

// Stores identical streams (and the font, encoding and graphics-state dictionaries and arrays
// built on them) once, redirecting every reference to the one kept; form fields keep their own
// appearance streams. It folds an output while it is being built: each call takes the objects
// made since the one before, folds those equal to objects kept earlier (or to each other) into
// them, and points the new objects' references at the ones kept.
class ObjectFolder {
public:
    explicit ObjectFolder(QPDF& output);
    ~ObjectFolder();
    ObjectFolder(const ObjectFolder&) = delete;
    ObjectFolder& operator=(const ObjectFolder&) = delete;

    // Folds the objects copied since the last call and frees the folded copies. Call it only when
    // no input that gave those objects can copy again (the library's copy of an input object is
    // reused by later copies from the same input). Returns how many new objects were folded.
    std::size_t foldNewObjects();
    // The last call, before writing: folds whatever was made since (the outlines, names and
    // labels, and the copies from inputs still open), without freeing, since objects made earlier
    // may still refer to a folded one: the writer leaves out what nothing refers to.
    std::size_t foldRemaining();

    class Impl;

private:
    std::size_t foldSince(bool release);

    std::unique_ptr<Impl> m_impl;
    QPDF& m_pdf;
    int m_nextId = 1;
};

// A copy of a direct object that holds no indirect reference, made in no document.
QPDFObjectHandle copyDirect(QPDFObjectHandle object);

} // namespace plyfold::splice
