#pragma once

// The small modal dialog that asks for one line of text; the program uses it for document
// passwords. The title bar carries the question, and so does the dialog itself: a title bar
// shortens a long question (a long file name) to what fits, so the question is also shown in full,
// wrapped, above the edit box.

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace plyfold {

class CStringDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the objectName of each control ("20002", "20004", "1", "2").
    static constexpr int kPlainEditId = 20002;
    static constexpr int kPasswordEditId = 20004;
    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;
    // Results of DoModal.
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    explicit CStringDlg(QWidget* owner = nullptr);
    ~CStringDlg() override;

    // Set before DoModal. `text` is also the result after OK (trimmed unless allowEmpty).
    QString text;
    QString title;           // replaces the caption "Dialog" when not empty
    bool allowEmpty = false; // while false, a blank answer cannot be confirmed
    int maxLength = 255;     // characters (UTF-16 code units) the edit box accepts
    bool passwordMode = false;

    // Runs the dialog modally: kResultOk (1) after OK, kResultCancel (2) otherwise (Cancel, Escape,
    // closing the window). While an answerer is set (tests), no window is shown: see
    // SetStringDlgAnswerer.
    int DoModal();

    // The edit box in use (20004 in password mode, 20002 otherwise) and the buttons; for tests
    // that drive the controls.
    QLineEdit* activeEdit() const;
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    // The question shown above the edit box (the title); hidden when there is no title.
    QLabel* promptLabel() const { return m_prompt; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Initialise();
    void ShowPrompt();
    void OnTextChanged(const QString& current);
    void OnOk();

    QLabel* m_prompt;
    QLineEdit* m_plainEdit;
    QLineEdit* m_passwordEdit;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    bool m_initialised = false;
};

// What the answerer is shown instead of the dialog.
struct StringDlgRequest {
    QWidget* owner = nullptr;
    QString title;
    QString text; // the initial text
    bool passwordMode = false;
    bool allowEmpty = false;
    int maxLength = 255;
};

// Tests replace the person at the keyboard: while an answerer is set, DoModal shows no window;
// the answerer returns the text typed and confirmed with OK, or nothing for Cancel. The answer goes
// through the dialog's own rules: it is cut to maxLength characters, trimmed unless allowEmpty, and
// a blank answer counts as Cancel (the OK button could not have been pressed). Pass an empty
// function to show real dialogs again.
using StringDlgAnswerer = std::function<std::optional<QString>(const StringDlgRequest&)>;
void SetStringDlgAnswerer(StringDlgAnswerer answerer);

} // namespace plyfold
