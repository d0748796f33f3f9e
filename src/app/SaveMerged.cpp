#include "app/SaveMerged.h"

#include "app/COutputFileDialog.h"
#include "app/CPDFOutputOptionDlg.h"
#include "app/CSavedMergeDlg.h"
#include "app/DialogIds.h"
#include "app/MergeJob.h"
#include "app/ShellOpen.h"
#include "controls/MessageBox.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PathUtil.h"
#include "res/Strings.h"

#include <QStringList>
#include <QUrl>

namespace plyfold {

QString ContainingFolder(const QString& path) {
    QString folder;
    SplitPath(path, &folder, nullptr);
    return folder;
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
    const bool encrypt = saveDialog.optionsConfirmed() != 0 && protection.Encrypts();
    if (WriteMergedFile(documents, path, encrypt ? &protection : nullptr, mainWindow) !=
        MergeResult::Written) {
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
