#include "app/MergeJob.h"

#include "controls/MessageBox.h"
#include "engine/TextConversion.h"
#include "platform/splice/OutputTemporaries.h"
#include "res/Strings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace plyfold {

namespace fs = std::filesystem;

namespace {

// Version of every merged file.
constexpr double kOutputVersion = 1.6;
// Encryption mode of the splicing library: AES-128.
constexpr int kEncryptAes128 = 2;

const char16_t* Wide(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

fs::path FsPath(const QString& path) {
    return fs::path(path.toStdU16String());
}

QString FromFsPath(const fs::path& path) {
    return QString::fromStdU16String(path.u16string());
}

// Where the merged file finally goes: a link is written through to the file it names.
fs::path ResolveTarget(const QString& path) {
    fs::path target = FsPath(path);
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) {
            return resolved;
        }
    }
    return target;
}

// Whether an existing target may be replaced: not a folder, and writable by us.
bool TargetWritable(const fs::path& target) {
    const QFileInfo info(FromFsPath(target));
    if (!info.exists()) {
        return true;
    }
    return !info.isDir() && info.isWritable();
}

bool ContributesPages(const MergeSource& source) {
    return source.included && !source.ranges.IsEmpty();
}

QString CleanAbsolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// A source opened for copying, or why it could not be: the splicing layer keeps the reason per
// thread, and the opening may run on a thread of its own.
struct OpenedForCopy {
    XpdfSpliceInput input = nullptr;
    std::string reason;
};

// Opens a source for copying: on a thread of its own (ahead), or on the calling thread when the
// result is asked for (at once), which is also what happens when no thread can be started. The
// text it needs is taken here.
std::future<OpenedForCopy> OpenForCopy(const MergeSource& source, bool ahead) {
    std::u16string path = source.path.toStdU16String();
    std::optional<std::string> password;
    if (!source.password.isEmpty()) {
        password = ToNarrow(source.password).toStdString();
    }
    // What the pages need is read ahead only on a thread of its own: at once it would be read
    // twice over, by this walk and by the copy.
    std::vector<std::pair<int, int>> ranges;
    if (ahead) {
        for (const PageRange& range : source.ranges) {
            ranges.emplace_back(range.first, range.end - 1);
        }
    }
    auto open = [path = std::move(path), password = std::move(password),
                 ranges = std::move(ranges)] {
        OpenedForCopy opened;
        opened.input = xpdfSpliceOpenInputForCopyW(path.c_str(),
                                                   password ? password->c_str() : nullptr, ranges);
        if (opened.input == nullptr) {
            opened.reason = xpdfSpliceLastError();
        }
        return opened;
    };
    if (ahead) {
        try {
            return std::async(std::launch::async, open);
        } catch (const std::system_error&) {
        }
    }
    return std::async(std::launch::deferred, std::move(open));
}

} // namespace

// A file reserved beside the target; removed again unless it was moved over the target.
class MergeJob::ReservedFile {
public:
    ReservedFile() = default;
    ReservedFile(const ReservedFile&) = delete;
    ReservedFile& operator=(const ReservedFile&) = delete;
    ~ReservedFile() { Discard(); }

    // Creates a new, empty file in the folder of `target` with a name that did not exist, short
    // enough for the file system whatever the target's length. On failure `error` says why, as the
    // system does.
    bool Create(const fs::path& target, QString& error) {
        errno = 0;
        const fs::path created = temporaries::CreateBeside(target, "part");
        if (created.empty()) {
            if (errno != 0) {
                error = QStringLiteral("cannot create a file in the output folder: %1")
                            .arg(QString::fromStdString(std::generic_category().message(errno)));
            }
            return false;
        }
        m_path = FromFsPath(created);
        return true;
    }

    const QString& path() const { return m_path; }

    // Moves the file over `target`, keeping the permissions of a file that is replaced. On failure
    // `error` says why, as the system does.
    bool MoveOver(const fs::path& target, QString& error) {
        std::error_code ec;
        const fs::path from = FsPath(m_path);
        const fs::file_status old = fs::status(target, ec);
        if (!ec && fs::exists(old)) {
            fs::permissions(from, old.permissions(), ec);
        }
        ec.clear();
        fs::rename(from, target, ec);
        if (ec) {
            error = QStringLiteral("cannot replace the output file: %1")
                        .arg(QString::fromStdString(ec.message()));
            return false;
        }
        temporaries::Unregister(from);
        m_path.clear();
        return true;
    }

    void Discard() {
        if (!m_path.isEmpty()) {
            QFile::remove(m_path);
            temporaries::Unregister(FsPath(m_path));
            m_path.clear();
        }
    }

private:
    QString m_path;
};

std::int64_t CountSelectedPages(const std::vector<MergeSource>& sources) {
    std::int64_t pages = 0;
    for (const MergeSource& source : sources) {
        if (source.included) {
            pages += source.ranges.PageCount();
        }
    }
    return pages;
}

int CountDistinctSources(const std::vector<MergeSource>& sources) {
    std::vector<QString> paths;
    for (const MergeSource& source : sources) {
        if (!ContributesPages(source)) {
            continue;
        }
        bool seen = false;
        for (const QString& known : paths) {
            if (known == source.path) {
                seen = true;
                break;
            }
        }
        if (!seen) {
            paths.push_back(source.path);
        }
    }
    return static_cast<int>(paths.size());
}

int CheckMergeSelection(const std::vector<MergeSource>& sources) {
    if (sources.empty()) {
        return ids::IDS_NO_DOCUMENTS;
    }
    if (CountSelectedPages(sources) == 0) {
        return ids::IDS_NO_PAGES_SELECTED;
    }
    if (CountDistinctSources(sources) < 2) {
        return ids::IDS_TOO_FEW_SOURCES;
    }
    return 0;
}

bool IsExactInputPath(const std::vector<MergeSource>& sources, const QString& path) {
    for (const MergeSource& source : sources) {
        if (source.path == path) {
            return true;
        }
    }
    return false;
}

bool IsSameFileAsInput(const std::vector<MergeSource>& sources, const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const fs::path target = FsPath(path);
    for (const MergeSource& source : sources) {
        std::error_code ec;
        // Same device and file number: one file however it is named (links, hard links, a linked
        // folder, "." and ".." in the path).
        if (fs::equivalent(target, FsPath(source.path), ec) && !ec) {
            return true;
        }
    }
    return false;
}

bool IsInputFile(const std::vector<MergeSource>& sources, const QString& path) {
    return IsExactInputPath(sources, path) || IsSameFileAsInput(sources, path);
}

bool IsInputPathIgnoringCase(const QString& path, const QStringList& inputPaths) {
    const QString chosen = CleanAbsolutePath(path);
    for (const QString& input : inputPaths) {
        if (chosen.compare(CleanAbsolutePath(input), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

MergeJob::MergeJob() = default;

MergeJob::~MergeJob() {
    if (m_output != nullptr) {
        // Never written: closing an output that asks to stop writes nothing.
        xpdfSpliceSetProgress(m_output, [](int, long long) { return false; });
        xpdfSpliceCloseOutput(m_output);
    }
}

bool MergeJob::StartOutput(const QString& path) {
    m_reason.clear(); // (from an earlier attempt, when the command's early start failed)
    m_target = ResolveTarget(path);
    if (path.isEmpty() || !TargetWritable(m_target)) {
        return false;
    }
    // Temporary files that an earlier run, killed or crashed, left beside the target.
    temporaries::RemoveStale(m_target.parent_path());
    // The writability test: a new file beside the target, which receives the merged file.
    auto reserved = std::make_unique<ReservedFile>();
    if (!reserved->Create(m_target, m_reason)) {
        return false;
    }
    m_output = xpdfSpliceOpenOutputW(Wide(reserved->path()), kOutputVersion);
    if (m_output == nullptr) {
        NoteReason(xpdfSpliceLastError());
        return false;
    }
    m_reserved = std::move(reserved);
    return true;
}

MergeResult MergeJob::Prepare(std::vector<MergeSource> sources, const QString& path,
                              QWidget* owner) {
    // Checked again here, where the file is written: no way of naming an input lets it be
    // replaced.
    if (IsInputFile(sources, path)) {
        AppMessageBox(owner, ids::IDS_OUTPUT_IS_INPUT, {}, MessageIcon::Error);
        return MergeResult::OutputIsInput;
    }
    m_totalPages = CountSelectedPages(sources);
    if (m_early) {
        return MergeResult::Written; // the output was started, and the sources given, early
    }
    if (!StartOutput(path)) {
        AppMessageBoxWithDetail(owner, ids::IDS_SAVE_FAILED, {}, m_reason);
        return MergeResult::CannotSave;
    }
    m_sources = std::move(sources);
    return MergeResult::Written;
}

bool MergeJob::StartEarly(const QString& path, const std::optional<OutputProtection>& protection,
                          bool outlines, const XpdfSpliceProgress& progress) {
    if (m_output != nullptr || !StartOutput(path)) {
        return false;
    }
    m_early = true;
    ListenTo(progress);
    ApplySettings(protection, outlines);
    return true;
}

void MergeJob::ListenTo(const XpdfSpliceProgress& progress) {
    if (!progress) {
        return;
    }
    m_progress = progress;
    // Whether the report asked to stop: a call that fails after that was stopped, not broken.
    xpdfSpliceSetProgress(m_output, [this](int stage, long long done) {
        if (!m_stopped && !m_progress(stage, done)) {
            m_stopped = true;
        }
        return !m_stopped;
    });
}

void MergeJob::AddEarly(MergeSource source) {
    if (!m_early) {
        return;
    }
    m_sources.push_back(std::move(source));
    CopySources();
}

void MergeJob::ApplySettings(const std::optional<OutputProtection>& protection, bool outlines) {
    m_settingsApplied = true;
    m_success = xpdfSpliceSetOutlines(m_output, outlines);
    if (m_success && protection && protection->Encrypts()) {
        m_success = xpdfSpliceSetEncryption(
            m_output, kEncryptAes128, ToNarrow(protection->ownerPassword).constData(),
            ToNarrow(protection->userPassword).constData(), protection->permissions);
    }
    if (!m_success) {
        NoteReason(xpdfSpliceLastError());
    }
}

void MergeJob::NoteReason(const std::string& reason) {
    if (m_reason.isEmpty()) {
        m_reason = QString::fromStdString(reason);
    }
}

// A document that fails ends the merge; later documents are not opened. Each document is opened
// by the time its turn comes: the next one is opened on a second thread while this one gives its
// pages and is closed, which reads what the output keeps of it, folds its copies and lets it go.
void MergeJob::CopySources() {
    std::future<OpenedForCopy> opening;
    for (; m_nextSource < m_sources.size(); ++m_nextSource) {
        if (!m_success || m_stopped) {
            break;
        }
        MergeSource& source = m_sources[m_nextSource];
        if (!source.included) {
            continue;
        }
        OpenedForCopy opened;
        if (source.opened) {
            opened.input = source.opened.release();
        } else {
            opened = opening.valid() ? opening.get() : OpenForCopy(source, false).get();
        }
        XpdfSpliceInput input = opened.input;
        m_success = input != nullptr;
        if (!m_success) {
            NoteReason(opened.reason);
        } else {
            for (std::size_t next = m_nextSource + 1; next < m_sources.size(); ++next) {
                if (m_sources[next].included) {
                    if (!m_sources[next].opened) {
                        opening = OpenForCopy(m_sources[next], true);
                    }
                    break;
                }
            }
        }
        for (const PageRange& range : source.ranges) {
            if (!m_success || m_stopped) {
                break;
            }
            m_success = xpdfSpliceAddPages(input, range.first, range.end - 1, m_output);
            if (m_success) {
                m_pagesCopied += range.end - range.first;
            } else if (!m_stopped) {
                NoteReason(xpdfSpliceLastError());
            }
        }
        if (input != nullptr) {
            xpdfSpliceCloseInput(input);
        }
        if (!m_success && !m_stopped) {
            m_readFailed = true;
            m_failedPath = source.path;
        }
    }
    // Opened ahead and not used: the merge stopped before its turn.
    if (opening.valid()) {
        if (XpdfSpliceInput unused = opening.get().input) {
            xpdfSpliceCloseInput(unused);
        }
    }
}

MergeOutcome MergeJob::Write(const std::optional<OutputProtection>& protection, bool outlines,
                             const XpdfSpliceProgress& progress) {
    MergeOutcome outcome;
    if (m_output == nullptr) {
        return outcome;
    }
    ListenTo(progress);
    if (!m_settingsApplied) {
        ApplySettings(protection, outlines);
    }
    // Pages copied before (while the inputs were checked) are reported now against the total.
    if (m_progress && m_pagesCopied > 0 && !m_stopped &&
        !m_progress(kSpliceCopying, m_pagesCopied)) {
        m_stopped = true;
    }
    CopySources();
    XpdfSpliceOutput output = std::exchange(m_output, nullptr);
    if (m_stopped || !m_success) {
        // Told to stop (or failed): closing then writes nothing and leaves no file of its own.
        xpdfSpliceSetProgress(output, [](int, long long) { return false; });
    }
    // Closing writes the file; a write that fails is a failed merge.
    const bool written = xpdfSpliceCloseOutput(output);
    if (!written && !m_stopped && m_success) {
        // Only when nothing failed before: closing after a failure reports the stop it was told.
        NoteReason(xpdfSpliceLastError());
    }
    outcome.reason = m_reason;
    if (m_stopped) {
        outcome.kind = MergeOutcome::Cancelled;
    } else if (m_readFailed) {
        outcome.kind = MergeOutcome::ReadFailed;
        outcome.failedPath = m_failedPath;
    } else if (!m_success || !written) {
        outcome.kind = MergeOutcome::WriteFailed;
    } else {
        outcome.kind = MergeOutcome::Written;
    }
    return outcome;
}

MergeResult MergeJob::Finish(const MergeOutcome& outcome, QWidget* owner) {
    QString reason = outcome.reason;
    if (outcome.kind == MergeOutcome::Written && m_reserved &&
        m_reserved->MoveOver(m_target, reason)) {
        m_reserved.reset();
        return MergeResult::Written;
    }
    if (m_reserved) {
        m_reserved->Discard();
        m_reserved.reset();
    }
    if (outcome.kind == MergeOutcome::Cancelled) {
        return MergeResult::Cancelled;
    }
    if (outcome.kind == MergeOutcome::ReadFailed) {
        AppMessageBox(owner, ids::IDS_READ_ERROR, {outcome.failedPath}, MessageIcon::Error);
    }
    AppMessageBoxWithDetail(owner, ids::IDS_MERGE_FAILED, {}, reason);
    return MergeResult::Failed;
}

} // namespace plyfold
