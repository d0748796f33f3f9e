#include "app/DocumentCommands.h"

#include "app/CommandDispatcher.h"
#include "app/FileDialogFilter.h"
#include "app/SaveMerged.h"
#include "engine/DocumentList.h"
#include "engine/Registry.h"
#include "engine/SettingsKeys.h"
#include "res/CommandIds.h"
#include "res/Strings.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace plyfold {

namespace {

const QString kOptionsSection = QString::fromLatin1(Options::Section);
const QString kLastFolder = QString::fromLatin1(Options::LastFolder);

CAddFileDialog::Answerer& addFileAnswerer() {
    static CAddFileDialog::Answerer answerer;
    return answerer;
}

CFolderBrowser::Answerer& folderAnswerer() {
    static CFolderBrowser::Answerer answerer;
    return answerer;
}

} // namespace

// ---- Add File ----------------------------------------------------------------------------------

CAddFileDialog::CAddFileDialog(QWidget* owner) : QFileDialog(owner) {
    // The widget-based dialog everywhere, so the dialog looks and behaves the same on every
    // desktop and can be driven in tests.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilters(NameFiltersFromResFilter(LoadResString(ids::IDS_PDF_FILTER)));
    setDefaultSuffix(QStringLiteral("pdf"));
}

QStringList CAddFileDialog::DoModal() {
    if (const Answerer& answerer = addFileAnswerer()) {
        return answerer(*this);
    }
    if (exec() != QDialog::Accepted) {
        return {};
    }
    return selectedFiles();
}

void CAddFileDialog::SetAnswerer(Answerer answerer) {
    addFileAnswerer() = std::move(answerer);
}

// ---- Add Folder --------------------------------------------------------------------------------

CFolderBrowser::CFolderBrowser(QWidget* owner, const QString& initialFolder) : QFileDialog(owner) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::Directory);
    // Files are listed too (ShowDirsOnly stays off), so the user sees what a folder holds.
    setOption(QFileDialog::ShowDirsOnly, false);
    setWindowTitle(LoadResString(ids::IDS_SELECT_FOLDER));
    if (!initialFolder.isEmpty()) {
        setDirectory(initialFolder);
    }
    // The dialog updates its own button on these changes; ours runs afterwards and has the last
    // word.
    connect(this, &QFileDialog::currentChanged, this, &CFolderBrowser::ScheduleOkUpdate);
    connect(this, &QFileDialog::directoryEntered, this, &CFolderBrowser::ScheduleOkUpdate);
    if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        connect(edit, &QLineEdit::textChanged, this, &CFolderBrowser::ScheduleOkUpdate);
    }
    ScheduleOkUpdate();
}

bool CFolderBrowser::IsSelectableFolder(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    return info.exists() && info.isDir();
}

QString CFolderBrowser::CurrentChoice() const {
    // What the person typed wins: the list's selection follows typing only later (and not at
    // all when the name matches nothing), so reading it first could answer with an older pick.
    if (const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        const QString typed = edit->text().trimmed();
        if (!typed.isEmpty()) {
            return QDir::cleanPath(directory().absoluteFilePath(typed));
        }
    }
    const QStringList chosen = selectedFiles();
    return chosen.isEmpty() ? directory().absolutePath() : chosen.first();
}

QPushButton* CFolderBrowser::okButton() const {
    auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    return box != nullptr ? box->button(QDialogButtonBox::Open) : nullptr;
}

void CFolderBrowser::UpdateOkButton() {
    if (QPushButton* ok = okButton()) {
        ok->setEnabled(IsSelectableFolder(CurrentChoice()));
    }
}

void CFolderBrowser::ScheduleOkUpdate() {
    QMetaObject::invokeMethod(this, &CFolderBrowser::UpdateOkButton, Qt::QueuedConnection);
}

void CFolderBrowser::accept() {
    if (!IsSelectableFolder(CurrentChoice())) {
        return;
    }
    // QFileDialog::accept would judge the list's selection again, which may still be an older
    // pick; the choice made here is the one the dialog returns.
    QDialog::accept(); // NOLINT(bugprone-parent-virtual-call): skipping QFileDialog's on purpose
}

QString CFolderBrowser::DoModal() {
    QString chosen;
    if (const Answerer& answerer = folderAnswerer()) {
        chosen = answerer(*this);
    } else if (exec() == QDialog::Accepted) {
        chosen = CurrentChoice();
    }
    return IsSelectableFolder(chosen) ? chosen : QString();
}

void CFolderBrowser::SetAnswerer(Answerer answerer) {
    folderAnswerer() = std::move(answerer);
}

// ---- The commands ------------------------------------------------------------------------------

void OnAddFile(DocumentList& documents, QWidget* mainWindow) {
    CAddFileDialog dialog(mainWindow);
    const QStringList files = dialog.DoModal();
    for (const QString& file : files) {
        documents.AddDocument(file);
    }
}

void OnAddFolder(DocumentList& documents, QWidget* mainWindow) {
    CFolderBrowser browser(mainWindow, GetProfileString(kOptionsSection, kLastFolder));
    const QString folder = browser.DoModal();
    if (folder.isEmpty()) {
        return;
    }
    WriteProfileString(kOptionsSection, kLastFolder, folder);
    documents.AddFolderContents(folder);
}

void OnClearAll(DocumentList& documents) {
    documents.ClearDocuments();
}

void RegisterDocumentCommands(CommandDispatcher& commands, DocumentList& documents,
                              MainWindowGetter mainWindow) {
    DocumentList* list = &documents;
    const auto owner = [mainWindow] { return mainWindow ? mainWindow() : nullptr; };
    commands.Register(ids::ID_ADD_FILE, [list, owner] { OnAddFile(*list, owner()); });
    commands.Register(ids::ID_ADD_FOLDER, [list, owner] { OnAddFolder(*list, owner()); });
    commands.Register(ids::ID_EDIT_CLEAR, [list] { OnClearAll(*list); });
    commands.Register(ids::ID_FILE_SAVE, [list, owner] { SaveMerged(*list, owner()); });
}

} // namespace plyfold
