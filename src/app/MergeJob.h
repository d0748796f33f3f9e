#pragma once

// Writing the merged file from the sources of a merge: the checks that there is something to
// merge, and the writer that copies every included source's chosen pages, in order, into one PDF
// 1.6 file. The window's Save Merged (through app/MergeDocuments.h, from its document list) and
// the plyfold-merge command both run these, so the two can never disagree. Every failure is shown
// with the application's message box (the command line routes that box to standard error).
// Nothing here opens a file but through the splicing layer.

#include "app/OutputProtection.h"
#include "engine/PageRangeList.h"
#include "platform/splice/XpdfSplice.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace plyfold {

// An input handle of the splicing layer, closed when it goes.
struct SpliceInputCloser {
    void operator()(XpdfSpliceInput input) const { xpdfSpliceCloseInput(input); }
};
using SpliceInputHandle = std::unique_ptr<XpdfSpliceInputObject, SpliceInputCloser>;

// One document as the writer reads it, copied from the document list (or made by the command)
// so that the writing can run on another thread while nothing it reads can change under it.
struct MergeSource {
    QString path;     // the document's own path
    QString password; // what its file was opened with; empty when it needed none
    bool included = true;
    PageRangeList ranges;
    // The file already opened for splicing with `password`, which the writer takes instead of
    // opening it again; empty: the writer opens it when its turn comes.
    SpliceInputHandle opened;
};

// Pages the output would hold: over the included sources, the pages of all their ranges.
std::int64_t CountSelectedPages(const std::vector<MergeSource>& sources);

// Number of distinct paths (compared exactly, letter case included) among the sources that
// contribute: included and with at least one chosen page. The same file added twice counts once.
int CountDistinctSources(const std::vector<MergeSource>& sources);

// The checks before anything is asked: the string id of the message that refuses the merge, or 0.
// 232 for no sources, 227 when no page is selected, 234 for pages from fewer than two files.
int CheckMergeSelection(const std::vector<MergeSource>& sources);

// True when `path` equals the path of some source character for character (letter case
// included).
bool IsExactInputPath(const std::vector<MergeSource>& sources, const QString& path);

// True when `path` names the same file as some source (same device and file number) however it
// is spelled: through a symbolic link, a hard link, a linked folder. False when it names no
// existing file.
bool IsSameFileAsInput(const std::vector<MergeSource>& sources, const QString& path);

// The refusal of an output that is one of the inputs: the exact comparison of the path text, then
// the comparison of the files themselves.
bool IsInputFile(const std::vector<MergeSource>& sources, const QString& path);

// The save dialog's refusal of an input: `path` and one of `inputPaths` made absolute and clean
// are equal, letter case ignored.
bool IsInputPathIgnoringCase(const QString& path, const QStringList& inputPaths);

enum class MergeResult {
    Written,    // the target holds the complete merged file
    CannotSave, // message 226 shown; the target is as it was
    Failed,     // message 211 (for a document that failed) then 228 shown; the target is as it was
    OutputIsInput, // message 229 shown: the target is one of the inputs; nothing was touched
    Cancelled,     // stopped on request; nothing shown, the target is as it was
};

// How the writing went, before the file is put in place.
struct MergeOutcome {
    enum Kind {
        Written,     // the merged file is complete under its temporary name
        ReadFailed,  // `failedPath` could not be opened or a range of it not copied
        WriteFailed, // the file could not be set up or written
        Cancelled,   // the progress report asked to stop
    };
    Kind kind = WriteFailed;
    QString failedPath;
    // Why it failed, in the words of the splicing layer or the system (for example "cannot write
    // the output file: No space left on device"): the first failure of the merge, not what failed
    // after it. Empty when not known.
    QString reason;
};

// One merge, in three steps so that the long middle one can run on a work thread while every
// message is shown, in order, on the user-interface thread:
//   Prepare (user-interface thread): the checks on the target (229, 226) and the output started
//     under a fresh temporary name beside it;
//   Write (any thread, shows nothing): every included source's chosen pages copied in the order
//     of the sources, then the file written;
//   Finish (user-interface thread): the file moved over the target, or removed with the messages
//     of the failure (211 for the document, then 228 with the reason below it).
// A job that is destroyed before Finish moved the file leaves no file behind and the target as it
// was.
class MergeJob {
public:
    MergeJob();
    ~MergeJob();
    MergeJob(const MergeJob&) = delete;
    MergeJob& operator=(const MergeJob&) = delete;

    // Checks the target, starts the output and keeps the sources for Write. Returns Written when
    // Write may go on; otherwise the message was shown and nothing was left behind.
    MergeResult Prepare(std::vector<MergeSource> sources, const QString& path, QWidget* owner);

    // The command line's merge begins while its inputs are still being checked, so that each file
    // is read once: StartEarly starts the output beside `path` with the protection and outlines
    // choice, showing nothing (false: nothing was started, and Prepare shows why); AddEarly then
    // copies each checked source's pages at once and closes its file. Prepare afterwards makes
    // only the checks on the target, with the sources given here, and Write writes the pages
    // given to AddEarly (its protection and outlines are those given to StartEarly). A job left
    // before Finish leaves no file behind, as always.
    bool StartEarly(const QString& path, const std::optional<OutputProtection>& protection,
                    bool outlines, const XpdfSpliceProgress& progress = {});
    void AddEarly(MergeSource source);

    // Copies and writes, with the protection (when given and it sets a password) and the outlines
    // choice. `progress`, when set, hears of every copied page (stage kSpliceCopying, pages copied
    // so far) and of the writing (kSpliceWriting, per cent); returning false stops the merge, which
    // then ends as Cancelled. Call once, after a successful Prepare.
    MergeOutcome Write(const std::optional<OutputProtection>& protection, bool outlines,
                       const XpdfSpliceProgress& progress = {});

    // Puts the written file in place, or shows the failure. `outcome` is what Write returned.
    MergeResult Finish(const MergeOutcome& outcome, QWidget* owner);

    // Pages the output will hold (taken at Prepare).
    std::int64_t totalPages() const { return m_totalPages; }

private:
    class ReservedFile;

    // The target resolved, the file reserved beside it and the output started there; false when
    // one of them cannot be done.
    bool StartOutput(const QString& path);
    void ApplySettings(const std::optional<OutputProtection>& protection, bool outlines);
    // Has the output report to `progress` (when set), noting when it asks to stop.
    void ListenTo(const XpdfSpliceProgress& progress);
    // Copies the pages of the sources not copied yet, in order, until one fails or a stop is asked.
    void CopySources();
    // Keeps the reason of the merge's first failure; later ones are its consequences.
    void NoteReason(const std::string& reason);

    std::unique_ptr<ReservedFile> m_reserved;
    std::filesystem::path m_target;
    XpdfSpliceOutput m_output = nullptr;
    std::vector<MergeSource> m_sources;
    std::size_t m_nextSource = 0; // the first source whose pages are not copied yet
    std::int64_t m_totalPages = 0;
    bool m_early = false;
    bool m_settingsApplied = false;
    bool m_success = true;  // every request on the output so far was done
    bool m_stopped = false; // the progress report asked to stop
    XpdfSpliceProgress m_progress;
    long long m_pagesCopied = 0;
    bool m_readFailed = false; // a source could not be opened or copied: m_failedPath
    QString m_failedPath;
    QString m_reason; // why the first request that failed did (MergeOutcome::reason)
};

} // namespace plyfold
