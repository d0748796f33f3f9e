#pragma once

// The application's document commands: Add File, Add Folder, Clear All and Save Merged, with the
// open dialog and the folder browser they show.

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QPushButton;

namespace plyfold {

class CommandDispatcher;
class DocumentList;

// Where the commands find their window: the main window owns every dialog and message box.
using MainWindowGetter = std::function<QWidget*()>;

// Registers the handlers of ID_ADD_FILE, ID_ADD_FOLDER, ID_EDIT_CLEAR and ID_FILE_SAVE with the
// dispatcher. `documents` must outlive the dispatcher's use of the handlers.
void RegisterDocumentCommands(CommandDispatcher& commands, DocumentList& documents,
                              MainWindowGetter mainWindow);

// Add File: the open dialog (PDF files or all files, several at once); every chosen file is added
// in the order the dialog returns them, each failure reported and the rest still added.
void OnAddFile(DocumentList& documents, QWidget* mainWindow);

// Add Folder: the folder browser, opened on the folder chosen last ("Options"/"LastFolder");
// an accepted folder is remembered there and its PDF files are added (DocumentList::
// AddFolderContents).
void OnAddFolder(DocumentList& documents, QWidget* mainWindow);

// Clear All: removes every document without asking.
void OnClearAll(DocumentList& documents);

// The open dialog of Add File: the widget-based file dialog in open mode with multiple selection,
// the filters of string 204 and the default extension "pdf".
class CAddFileDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit CAddFileDialog(QWidget* owner);

    // Runs the dialog; the chosen files in the dialog's order, empty for Cancel.
    QStringList DoModal();

    // Test seam: while an answerer is set, DoModal shows nothing and returns what the answerer
    // returns (the files a person would have chosen; empty for Cancel). Pass an empty function to
    // show the real dialog again.
    using Answerer = std::function<QStringList(CAddFileDialog&)>;
    static void SetAnswerer(Answerer answerer);
};

// The folder browser of Add Folder: the widget-based file dialog in folder mode, titled with
// string 220, listing files as well as folders, whose OK button is enabled only while the current
// choice is an existing folder; accepting anything else is refused.
class CFolderBrowser : public QFileDialog {
    Q_OBJECT
public:
    // Opens on `initialFolder` when it is not empty.
    CFolderBrowser(QWidget* owner, const QString& initialFolder);

    // Runs the browser; the chosen folder, empty for Cancel.
    QString DoModal();

    // True when `path` names an existing folder (what enables OK).
    static bool IsSelectableFolder(const QString& path);

    // The current choice: the selected entry, or the folder shown when nothing is selected.
    QString CurrentChoice() const;
    // The OK button ("Choose").
    QPushButton* okButton() const;
    // Enables OK for the current choice. Runs after every change of the choice.
    void UpdateOkButton();

    // Test seam: while an answerer is set, DoModal shows nothing; the answerer gets the set-up
    // browser and returns the path a person would choose (empty for Cancel). The answer passes the
    // same check as the OK button: a path that is not an existing folder counts as Cancel. Pass an
    // empty function to show the real browser again.
    using Answerer = std::function<QString(CFolderBrowser&)>;
    static void SetAnswerer(Answerer answerer);

    void accept() override;

private:
    void ScheduleOkUpdate();
};

} // namespace plyfold
