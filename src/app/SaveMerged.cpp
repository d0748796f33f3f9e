#include "app/SaveMerged.h"

#include "app/CNewProgressDlg.h"
#include "app/COutputFileDialog.h"
#include "app/CPDFOutputOptionDlg.h"
#include "app/CSavedMergeDlg.h"
#include "app/DialogIds.h"
#include "app/MergeDocuments.h"
#include "app/ShellOpen.h"
#include "controls/MessageBox.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PathUtil.h"
#include "res/Strings.h"
#include "work/WorkThreadWithProgress.h"

#include <QLocale>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <optional>

namespace plyfold {

QString ContainingFolder(const QString& path) {
    QString folder;
    SplitPath(path, &folder, nullptr);
    return folder;
}

namespace {

// The progress dialog's line for each stage of the merge.
QString CopyingText(long long done, int total) {
    return QStringLiteral("Copying pages: %1 of %2")
        .arg(QLocale().toString(done), QLocale().toString(total));
}

QString WritingText(long long percent) {
    return QStringLiteral("Writing the merged file: %1%").arg(percent);
}

// The merge on the work thread: copies and writes (MergeJob::Write), reporting pages copied of
// pages total, then the per cent written, and stops at the next page once cancelled. Shows
// nothing; the save reads the outcome and shows what it means once the dialog has closed.
class MergeItem : public WorkItem {
public:
    MergeItem(std::shared_ptr<MergeJob> job, std::optional<OutputProtection> protection,
              NewProgressInterface* progress, std::shared_ptr<MergeOutcome> outcome)
        : m_job(std::move(job)), m_protection(std::move(protection)), m_progress(progress),
          m_outcome(std::move(outcome)) {}

    void Run() override {
        const int total =
            int(std::clamp<std::int64_t>(m_job->totalPages(), 0, std::numeric_limits<int>::max()));
        m_progress->EnableCancel(true);
        m_progress->SetRange(0, total, 0);
        m_progress->SetText(CopyingText(0, total), 0);
        const std::atomic<bool>* userCancelled = m_progress->CancelledFlag();
        int stage = kSpliceCopying;
        *m_outcome = m_job->Write(m_protection, true, [&](int reportStage, long long done) -> bool {
            if (IsCancelled() || userCancelled->load()) {
                return false;
            }
            if (reportStage == kSpliceCopying) {
                m_progress->SetText(CopyingText(done, total),
                                    int(std::min<long long>(done, total)));
            } else {
                if (stage != kSpliceWriting) {
                    stage = kSpliceWriting;
                    m_progress->SetRange(0, 100, 0);
                }
                m_progress->SetText(WritingText(done), int(done));
            }
            return true;
        });
        m_progress->Finished(FinishedCode::MergeWritten, 0);
    }

private:
    std::shared_ptr<MergeJob> m_job;
    std::optional<OutputProtection> m_protection;
    NewProgressInterface* m_progress;
    std::shared_ptr<MergeOutcome> m_outcome;
};

} // namespace

MergeResult RunMergeWithProgress(const DocumentList& documents, const QString& path,
                                 const std::optional<OutputProtection>& protection,
                                 QWidget* mainWindow) {
    // The job and the outcome are shared with the work item: whichever lets go last frees them.
    auto job = std::make_shared<MergeJob>();
    if (const MergeResult prepared = job->Prepare(MergeSources(documents), path, mainWindow);
        prepared != MergeResult::Written) {
        return prepared;
    }
    auto outcome = std::make_shared<MergeOutcome>();
    bool cancelled = false;
    {
        // The thread goes after the dialog that shows its reports; destroying it waits for the
        // item to return.
        WorkThreadWithProgress thread;
        CNewProgressDlg progress(mainWindow, &thread);
        thread.Start();
        // The reports travel through the main window's event queue; without a main window,
        // through the dialog's own.
        thread.AttachToWindow(mainWindow != nullptr ? static_cast<QObject*>(mainWindow)
                                                    : &progress);
        thread.Reset();
        progress.storeResult = true;
        thread.AddItem(std::make_unique<MergeItem>(job, protection, &thread, outcome));
        // Modal: the window takes no input until the merge has ended.
        progress.DoModal();
        cancelled = progress.cancelled;
    }
    if (cancelled) {
        // Cancelled, even when the item had already written everything: the target stays as it
        // was and the written file goes.
        outcome->kind = MergeOutcome::Cancelled;
    }
    return job->Finish(*outcome, mainWindow);
}

void SaveMerged(const DocumentList& documents, QWidget* mainWindow) {
    if (const int refusal = CheckMergeSelection(documents); refusal != 0) {
        AppMessageBox(mainWindow, refusal, {}, MessageIcon::Error);
        return;
    }

    // A fresh options object for every save: no protection survives from one save to the next.
    CPDFOutputOptionDlg options;
    QStringList inputPaths;
    for (const auto& doc : documents.documents()) {
        inputPaths.append(doc->GetPath());
    }
    COutputFileDialog saveDialog(LoadResString(ids::IDS_PDF_FILTER), mainWindow, &options,
                                 inputPaths);
    if (saveDialog.DoModal() != ids::IDOK) {
        return;
    }
    const QString path = saveDialog.GetPathName();
    if (IsInputFile(documents, path)) {
        AppMessageBox(mainWindow, ids::IDS_OUTPUT_IS_INPUT, {}, MessageIcon::Error);
        return;
    }

    // The options count only when they were shown from the save dialog.
    const OutputProtection protection = options.protection();
    std::optional<OutputProtection> encryption;
    if (saveDialog.optionsConfirmed() != 0 && protection.Encrypts()) {
        encryption = protection;
    }
    if (RunMergeWithProgress(documents, path, encryption, mainWindow) != MergeResult::Written) {
        return;
    }

    CSavedMergeDlg complete(mainWindow);
    switch (complete.DoModal()) {
    case CSavedMergeDlg::kOpenMergedFile:
        ShellOpenUrl(QUrl::fromLocalFile(path));
        break;
    case CSavedMergeDlg::kShowContainingFolder: {
        const QString folder = ContainingFolder(path);
        // An empty folder opens nothing (the desktop has no "current folder" to show).
        ShellOpenUrl(folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(folder));
        break;
    }
    default:
        break;
    }
}

} // namespace plyfold
