#pragma once

// What an output keeps of its inputs besides the pages: outlines, links and named destinations,
// page labels. Each opened input that gives pages to an output is one contribution; the pages it
// gave are recorded as they are copied, and everything that points at pages is rebuilt for the
// output just before it is written, once every page is known.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
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
    // The copy already holds what carrying the name unchanged would write: the name as a string,
    // in /Dest or in a direct action of /S and /D alone.
    bool holdsName = false;
    QPDFObjectHandle dest; // otherwise the explicit destination in the output, or null
};

// A copied annotation: the copy in the output, the source annotation it was copied from, and where
// that sits in the source (the source page's index and the annotation's index in its /Annots).
struct CopiedAnnotation {
    QPDFObjectHandle copy;
    QPDFObjectHandle source;
    long long page = 0;
    int index = 0;
};

// What tells one file from another: a second opening of a path reads the same file as the first
// only when these are equal.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modifiedSeconds = 0;
    long long modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

// How an input's file can be opened a second time, for the reader aside (see AsideReader).
struct Reopening {
    std::string path; // as the file system takes it
    std::optional<std::string> password;
    FileIdentity identity;
    // Reads the pages of an opening, in order, as the first opening's were read.
    std::function<std::vector<QPDFObjectHandle>(QPDF&)> readPages;
    // Takes what the reader is done with, to free it beside the caller's work.
    std::function<void(std::shared_ptr<void>)> dispose;
};

class AsideReader;

// How many shares were read by readers aside since the program started.
long long readAsideCount();

// The identity of an open file; none where the system cannot tell it.
std::optional<FileIdentity> fileIdentity(std::FILE* file);

// One opened input's share of an output.
struct Contribution {
    const void* key = nullptr; // the opened input it came from; null once its source is let go
    QPDF* source = nullptr;    // null once what the output needs of it has been read
    std::string title;         // UTF-8: the file name without folder and extension
    std::vector<QPDFObjectHandle> sourcePages; // every page of the input, in order
    // Source page -> its first copy in the output.
    std::map<QPDFObjGen, QPDFObjectHandle> outputPage;
    QPDFObjectHandle firstOutputPage;
    std::vector<CopiedAnnotation> annotations;
    // Output pages whose annotations could not be paired with their source page's, and whether
    // the links of the paired ones were read: what carrying the links does not set right is
    // checked before writing (see disableStrayLinks).
    std::vector<QPDFObjectHandle> unpairedPages;
    bool linksRead = false;
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
    bool sourceNamesRead = false;
    std::map<std::string, std::string> names;
    // Reads the source's share from a second opening of its file, when it has one.
    std::shared_ptr<AsideReader> aside;

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
    Navigation() = default;
    ~Navigation();
    Navigation(const Navigation&) = delete;
    Navigation& operator=(const Navigation&) = delete;

    // The contribution of the opened input key, created on first use (in output order). When
    // the input comes with a reader aside, its share is read by that reader.
    Contribution& contribution(const void* key, QPDF& source, const std::string& title,
                               const std::vector<QPDFObjectHandle>& sourcePages,
                               std::shared_ptr<AsideReader> aside = nullptr);

    // Records pages just appended to the output: sourcePages[i] (1-based page first + i of the
    // source) became outputPages[i]; firstOutputIndex is the 0-based output index of the first.
    void recordPages(Contribution& c, int first, const std::vector<QPDFObjectHandle>& sourcePages,
                     const std::vector<QPDFObjectHandle>& outputPages, long long firstOutputIndex);

    void setOutlines(bool on) { m_outlines = on; }

    // Reads what the output needs of the input key, which gives no more pages, so that it can
    // be closed. Throws on failure. True when key had a contribution.
    bool release(const void* key, std::vector<std::string>& log);

    // Reads what the output needs of every input not yet let go; after it, nothing more is read
    // from the inputs. finish does it first too.
    void extractRemaining(std::vector<std::string>& log);

    // Rebuilds links, named destinations, outlines and page labels in output. Throws on failure.
    void finish(QPDF& output, std::vector<std::string>& log);

private:
    // Stops c's reader aside, if any, and keeps it until the navigation goes.
    void retireReader(Contribution& c);

    std::vector<Contribution> m_contributions;
    // Readers that were let go unused or are done, joined when the navigation goes.
    std::vector<std::shared_ptr<AsideReader>> m_retired;
    bool m_outlines = true;
};

// Reads an input's share (see Contribution) from a second, private opening of its file on a
// thread of its own. While the first opening reads its pages and they are copied, it opens the
// file again, checks that it is the same file, reads its pages, and reads ahead the named
// destinations, outline and annotations; once no more pages can come from the input, it is handed
// the record of what was copied and extracts the share, so that the input can be let go at once.
// Object numbers are the same in both openings of one file, which is what lets the record cross
// over; the record is refused when the pages' numbers differ.
class AsideReader {
public:
    // Starts a reader on a thread of its own; none while another reader of the program is at
    // work (each holds a second opening of a large file in memory), or when no thread can be had.
    static std::shared_ptr<AsideReader> start(Reopening reopening);
    // Stops the reader's work as soon as it can and waits for the thread.
    ~AsideReader();
    AsideReader(const AsideReader&) = delete;
    AsideReader& operator=(const AsideReader&) = delete;

    // Hands over c's record of copied pages and returns without waiting for the share (only, at
    // most, for the reader to finish reading the pages); true when the reader took it. False when
    // the reader did not read the same pages from the same file: c is then unchanged, and the
    // reader is stopped.
    bool handOver(Contribution& c, bool outlines);
    // After a successful handOver only: waits until the share is read, and moves it into c; its
    // messages go to log.
    void collect(Contribution& c, std::vector<std::string>& log);
    // Asks the reader to stop as soon as it can, without waiting.
    void abandon();

    class State;

private:
    explicit AsideReader(Reopening reopening);

    std::shared_ptr<State> m_state;
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

// A document's named destinations, as Contribution::sourceNames holds them: the old catalog
// dictionary and the name tree.
std::map<std::string, QPDFObjectHandle> readNamedDestinations(QPDF& source);
// Reads c's source's named destinations into c.sourceNames, once.
void readSourceNames(Contribution& c);
// c's named destinations that lead into the output, and its copied links. Called on extraction.
void readLinks(Contribution& c);
// Builds the output's named destinations and fixes every copied link. Called by finish.
void carryLinks(QPDF& output, std::vector<Contribution>& contributions);
// Switches off every link that leads to a page outside the output among those that carrying the
// links did not set: on the pages whose annotations could not be paired with their source's, and
// on every page of a contribution whose links could not be read. Called by finish.
void disableStrayLinks(QPDF& output, const std::vector<Contribution>& contributions);
// Builds one top-level outline entry per contribution. Called by finish.
void buildOutlines(QPDF& output, std::vector<Contribution>& contributions);
// Carries page labels for the kept pages. Called by finish.
void carryPageLabels(QPDF& output, std::vector<Contribution>& contributions);

// Stores identical streams (and the font, encoding and graphics-state dictionaries and arrays
// built on them) once, redirecting every reference to the one kept; form fields keep their own
// appearance streams. It folds an output while it is being built: each call takes the objects
// that the output's new pages, its form and (at the end) its catalog reach and that no call
// before reached, folds those equal to objects kept earlier (or to each other) into
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
    // Folded streams are kept from now on instead of freed: the library has copied streams within
    // the output (the looks of copied form fields), and such a copy reads its data from the stream
    // it was copied from when the file is written.
    void keepStreams();

    class Impl;

private:
    std::size_t foldSince(bool release);
    void reachFrom(QPDFObjectHandle root, std::vector<QPDFObjectHandle>& fresh);
    // Marks og as walked; false when it was walked before.
    bool markWalked(QPDFObjGen og);

    std::unique_ptr<Impl> m_impl;
    QPDF& m_pdf;
    // Objects reached by earlier calls, and how many of the output's pages they started from.
    // (A bit per object number for the usual small numbers, a set for the rest.)
    std::vector<bool> m_walked;
    std::unordered_set<unsigned long long> m_walkedOther;
    std::size_t m_pagesWalked = 0;
    bool m_keepStreams = false;
};

// A copy of a direct object that holds no indirect reference, made in no document.
QPDFObjectHandle copyDirect(QPDFObjectHandle object);

} // namespace plyfold::splice
