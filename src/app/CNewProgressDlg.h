#pragma once

// "Progress": the modal dialog that shows a work item's progress. It attaches itself to a
// progress handler as its active display when it opens and ends when the item reports Finished.
// Cancel (the button, Escape or closing the window) does not close it: it greys the button out,
// tells the handler (which cancels the running item) and waits for the item to finish.

#include "work/NewProgressDisplay.h"

#include <QDialog>
#include <QString>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace plyfold {

class NewProgressHandler;

namespace ids {
inline constexpr int IDD_PROGRESS = 20010;
inline constexpr int IDC_PROGRESS_TEXT = 20011;
inline constexpr int IDC_PROGRESS_BAR = 20012;
inline constexpr int IDC_WORK_IN_BACKGROUND = 20013;
inline constexpr int IDC_PROGRESS_CANCEL = 2; // the standard Cancel button
} // namespace ids

class CNewProgressDlg : public QDialog, public NewProgressDisplay {
    Q_OBJECT
public:
    // `parent` is the application's main window; `handler` (not owned) must outlive the dialog.
    CNewProgressDlg(QWidget* parent, NewProgressHandler* handler);
    ~CNewProgressDlg() override;

    // Opens the dialog (attaching it to the handler, which fills in the current state) and runs it
    // modally until the work reports Finished. Returns 1 (IDOK), the only way it ends. When the
    // handler's work has finished already the dialog ends at once without showing. Use this, not
    // exec(): the attachment happens here.
    int DoModal();

    // Set before DoModal: Finished keeps its code and value in finishedCode/finishedValue.
    bool storeResult = false;
    // What Finished received (when storeResult is set). A pointer in finishedValue belongs to the
    // owner of the dialog from then on.
    int finishedCode = 0;
    std::intptr_t finishedValue = 0;
    // True once the user pressed Cancel.
    bool cancelled = false;

    // Shown in the title bar; empty in this program.
    void SetCaption(const QString& caption) { m_caption = caption; }

    // --- NewProgressDisplay (user-interface thread) ---
    void SetRange(int min, int max, int pos) override;
    void SetMarquee() override;
    void SetText(const QString& text, int pos) override;
    void SetPos(int pos) override;
    bool Finished(int code, std::intptr_t value) override;
    void EnableCancel(bool enable) override;

    // The control with the given id (ids::IDC_PROGRESS_...), or null.
    QWidget* Control(int id) const;
    QLabel* textLabel() const { return m_text; }
    QProgressBar* progressBar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancel; }
    // True while the bar runs as a marquee (indeterminate), false while it is a smooth bar.
    bool isMarquee() const { return m_marquee; }
    bool isFinished() const { return m_finished; }

public slots:
    // Cancel, Escape and closing the window all come here.
    void reject() override;

private:
    void BuildControls();
    void OnInitDialog();
    void OnCancel();

    NewProgressHandler* m_handler;
    QString m_caption;
    bool m_finished = false;
    bool m_marquee = false;

    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_background = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace plyfold
