#pragma once

// "Save Merge Complete": tells the user that the merged file was saved and asks what to do next.
// The dialog only reports the choice; the save flow opens the file or its folder.

#include <QDialog>
#include <QFont>

#include <functional>

class QLabel;
class QPushButton;

namespace plyfold {

class CSavedMergeDlg : public QDialog {
    Q_OBJECT
public:
    // The dialog's results.
    static constexpr int kOpenMergedFile = 1; // "Open merged file" (the default button)
    static constexpr int kShowContainingFolder = 6;
    static constexpr int kDone = 2; // "Done", Escape or the window's close box

    explicit CSavedMergeDlg(QWidget* owner = nullptr);
    ~CSavedMergeDlg() override;

    // Shows the dialog modally; returns kOpenMergedFile, kShowContainingFolder or kDone.
    int DoModal();

    // The control with the given id (ids::IDC_SAVE_COMPLETE_HEADLINE, ids::IDC_SAVE_COMPLETE_ICON,
    // ids::IDOK, ids::IDC_SHOW_FOLDER, ids::IDCANCEL), or null.
    QWidget* Control(int id) const;
    const QFont& headlineFont() const { return m_headlineFont; }

    // Test seam: while an answerer is set, DoModal does not show the dialog; the answerer works
    // its buttons as a person would (for example clicking "Show containing folder"). A dialog
    // the answerer leaves open counts as "Done". Pass an empty function to show it again.
    using Answerer = std::function<void(CSavedMergeDlg&)>;
    static void SetAnswerer(Answerer answerer);

private:
    void OnInitDialog();

    QFont m_headlineFont; // the dialog's font in bold, for the headline
    QLabel* m_headline = nullptr;
    QLabel* m_question = nullptr;
    QLabel* m_icon = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_showFolder = nullptr;
    QPushButton* m_done = nullptr;
};

} // namespace plyfold
