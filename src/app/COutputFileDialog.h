#pragma once

// The save dialog of "Save Merged": the file dialog in save mode with one extra button,
// "Options...", that opens the output options, and a check that refuses an input file as output.
// It uses the widget-based file dialog on every platform, so the extra button is always there.

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QPushButton;

namespace plyfold {

class CPDFOutputOptionDlg;

class COutputFileDialog : public QFileDialog {
    Q_OBJECT
public:
    // `filter` in the string table's form ("PDF Files (*.pdf)|*.pdf|...||"); `options` is shown by
    // the "Options..." button and stays owned by the caller (may be null: the button then does
    // nothing); `inputPaths` are the documents' paths in list order, refused as output.
    COutputFileDialog(const QString& filter, QWidget* owner, CPDFOutputOptionDlg* options,
                      QStringList inputPaths = {});
    ~COutputFileDialog() override;

    // Runs the dialog. Returns ids::IDOK (1) with GetPathName() set, or ids::IDCANCEL (2).
    int DoModal();

    // The chosen full path, with the default extension "pdf" added to a name without one.
    QString GetPathName() const { return m_pathName; }

    // Non-zero once the output options have been shown from this dialog, whichever of their
    // buttons closed them (the results of every showing OR-ed together).
    int optionsConfirmed() const { return m_optionsConfirmed; }

    // A click on one of the dialog's own buttons: ids::IDC_OUTPUT_OPTIONS_BUTTON shows the output
    // options modally; other ids are ignored.
    void OnButtonClicked(int id);

    // The checks a chosen full path must pass, each refusal explained in a message box: its folder
    // must exist, and it must not be one of the input files (compared without regard to letter
    // case, message 229). True accepts the name. The overwrite question comes after these checks.
    bool OnFileNameOK(const QString& path);

    // True when `path` names one of `inputPaths`: both made absolute and cleaned of "." and ".."
    // parts and doubled separators, then compared without regard to letter case.
    static bool IsInputPath(const QString& path, const QStringList& inputPaths);

    QPushButton* optionsButton() const { return m_optionsButton; }

    // Test seam in place of the person: while an answerer is set, DoModal shows nothing and asks
    // the answerer for the name the person would type, as often as the dialog would stay open.
    // The answerer returns a path (relative paths are taken in the dialog's folder; the default
    // extension is added as the dialog adds it) or an empty string for Cancel; it may press
    // "Options..." first by calling OnButtonClicked(ids::IDC_OUTPUT_OPTIONS_BUTTON). Each name
    // passes the same checks and overwrite question as in the real dialog. Pass an empty function
    // to show the real dialog again.
    using FileNameAnswerer = std::function<QString(COutputFileDialog&)>;
    static void SetFileNameAnswerer(FileNameAnswerer answerer);

    void accept() override;

private:
    void AddOptionsButton();
    bool ConfirmOverwrite(const QString& path);
    QString CompletePath(const QString& typed) const;

    CPDFOutputOptionDlg* m_options;
    QStringList m_inputPaths;
    int m_optionsConfirmed = 0;
    QString m_pathName;
    QPushButton* m_optionsButton = nullptr;
};

} // namespace plyfold
