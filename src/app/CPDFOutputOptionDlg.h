#pragma once

// "Output Options": whether the merged file gets a password and which actions the password
// guards. Opened from the save dialog's "Options..." button, possibly several times during one
// save; the object keeps the last accepted choice between showings, and a cancelled showing
// changes nothing. The save flow reads ownerPassword(), userPassword() and permissions() after
// the save dialog has closed.

#include "app/OutputProtection.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace plyfold {

class CPDFOutputOptionDlg : public QDialog {
    Q_OBJECT
public:
    // No owner: the dialog is parented to the window that shows it only while it is shown, so
    // the save flow keeps sole ownership of the object.
    CPDFOutputOptionDlg();
    ~CPDFOutputOptionDlg() override;

    // Shows the dialog modally over `owner` after loading the last accepted choice into the
    // controls. Returns ids::IDOK (1) when accepted, ids::IDCANCEL (2) otherwise.
    int DoModal(QWidget* owner = nullptr);

    // Results of the last accepted showing; empty passwords and an unspecified word before.
    const QString& ownerPassword() const { return m_ownerPassword; }
    const QString& userPassword() const { return m_userPassword; }
    std::uint32_t permissions() const { return m_permissions; }
    OutputProtection protection() const { return {m_ownerPassword, m_userPassword, m_permissions}; }

    // The last accepted state of the controls (what the next showing starts with).
    const OutputProtectionChoice& choice() const { return m_choice; }

    // Enables or disables the password edit and the five "Require" boxes; the radio buttons and
    // the label stay enabled.
    void EnableProtectionControls(bool enable);

    // The control with the given id (ids::IDC_..., ids::IDOK, ids::IDCANCEL), or null.
    QWidget* Control(int id) const;

    // Test seam: while an answerer is set, DoModal does not show the dialog. It loads the
    // controls as for a showing, then hands the dialog to the answerer, which works the controls
    // as a person would (for example clicking the OK button, whose checks and messages run as
    // usual). A showing that the answerer leaves open counts as cancelled. Pass an empty
    // function to show the real dialog again.
    using Answerer = std::function<void(CPDFOutputOptionDlg&)>;
    static void SetAnswerer(Answerer answerer);

private:
    void BuildControls();
    void OnInitDialog();
    void OnOK();
    OutputProtectionChoice ReadControls() const;
    void WriteControls(const OutputProtectionChoice& choice);

    // Results.
    QString m_ownerPassword;
    QString m_userPassword;
    std::uint32_t m_permissions = permission::kAll;
    // Bound state of the controls, kept from the last accepted showing.
    OutputProtectionChoice m_choice;

    QRadioButton* m_unprotected = nullptr;
    QRadioButton* m_protect = nullptr;
    QButtonGroup* m_modeGroup = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_requireLabel = nullptr;
    QCheckBox* m_viewing = nullptr;
    QCheckBox* m_copying = nullptr;
    QCheckBox* m_printing = nullptr;
    QCheckBox* m_annotation = nullptr;
    QCheckBox* m_fillingForms = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace plyfold
