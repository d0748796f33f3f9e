#include "app/CPDFOutputOptionDlg.h"

#include "app/DialogIds.h"
#include "controls/DialogUnits.h"
#include "controls/MessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace plyfold {

namespace {

CPDFOutputOptionDlg::Answerer& answerer() {
    static CPDFOutputOptionDlg::Answerer instance;
    return instance;
}

} // namespace

CPDFOutputOptionDlg::CPDFOutputOptionDlg() : QDialog(nullptr) {
    setWindowTitle(QStringLiteral("Output Options"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildControls();
}

CPDFOutputOptionDlg::~CPDFOutputOptionDlg() = default;

void CPDFOutputOptionDlg::SetAnswerer(Answerer answererFunction) {
    answerer() = std::move(answererFunction);
}

void CPDFOutputOptionDlg::BuildControls() {
    const DialogUnits du(font());
    setFixedSize(du.Size(138, 178));

    // Created in the order they are drawn; the tab order is set below.
    m_unprotected = new QRadioButton(QStringLiteral("Unprotected"), this);
    m_unprotected->setGeometry(du.Rect(6, 3, 132, 17));
    m_protect = new QRadioButton(QStringLiteral("Protect with password:"), this);
    m_protect->setGeometry(du.Rect(6, 18, 132, 17));
    m_modeGroup = new QButtonGroup(this);
    m_modeGroup->addButton(m_unprotected, 0);
    m_modeGroup->addButton(m_protect, 1);

    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(du.Rect(15, 37, 84, 13));

    m_requireLabel = new QLabel(QStringLiteral("Require this password for:"), this);
    m_requireLabel->setGeometry(du.Rect(16, 55, 103, 9));

    m_viewing = new QCheckBox(QStringLiteral("Viewing"), this);
    m_viewing->setGeometry(du.Rect(15, 66, 84, 14));
    m_copying = new QCheckBox(QStringLiteral("Copying"), this);
    m_copying->setGeometry(du.Rect(15, 80, 84, 14));
    m_printing = new QCheckBox(QStringLiteral("Printing"), this);
    m_printing->setGeometry(du.Rect(15, 94, 84, 14));
    m_annotation = new QCheckBox(QStringLiteral("Annotation"), this);
    m_annotation->setGeometry(du.Rect(15, 108, 84, 14));
    m_fillingForms = new QCheckBox(QStringLiteral("Filling Forms"), this);
    m_fillingForms->setGeometry(du.Rect(15, 123, 84, 14));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du.Rect(27, 146, 50, 14));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(du.Rect(83, 146, 50, 14));

    const std::pair<QWidget*, int> named[] = {
        {m_unprotected, ids::IDC_UNPROTECTED},
        {m_protect, ids::IDC_PROTECT},
        {m_password, ids::IDC_PASSWORD},
        {m_viewing, ids::IDC_REQUIRE_VIEWING},
        {m_printing, ids::IDC_REQUIRE_PRINTING},
        {m_annotation, ids::IDC_REQUIRE_ANNOTATION},
        {m_fillingForms, ids::IDC_REQUIRE_FORMS},
        {m_copying, ids::IDC_REQUIRE_COPYING},
        {m_ok, ids::IDOK},
        {m_cancel, ids::IDCANCEL},
    };
    for (const auto& [widget, id] : named) {
        widget->setObjectName(QString::number(id));
    }

    // The keyboard order: the buttons first, then the controls, Copying last although it is
    // drawn second.
    QWidget* const tabOrder[] = {m_ok,      m_cancel,   m_unprotected, m_protect,      m_password,
                                 m_viewing, m_printing, m_annotation,  m_fillingForms, m_copying};
    for (size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    // Only clicks switch the controls on and off; loading the choice into the radio buttons
    // does not.
    connect(m_protect, &QRadioButton::clicked, this, [this] { EnableProtectionControls(true); });
    connect(m_unprotected, &QRadioButton::clicked, this,
            [this] { EnableProtectionControls(false); });
    connect(m_ok, &QPushButton::clicked, this, &CPDFOutputOptionDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    WriteControls(m_choice);
    EnableProtectionControls(false);
    FitChildTexts(this, du.X(5));
}

QWidget* CPDFOutputOptionDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CPDFOutputOptionDlg::EnableProtectionControls(bool enable) {
    QWidget* const controls[] = {m_password, m_viewing,    m_copying,
                                 m_printing, m_annotation, m_fillingForms};
    for (QWidget* control : controls) {
        control->setEnabled(enable);
    }
}

void CPDFOutputOptionDlg::WriteControls(const OutputProtectionChoice& choice) {
    m_modeGroup->button(choice.protectMode == 1 ? 1 : 0)->setChecked(true);
    m_password->setText(choice.password);
    m_viewing->setChecked(choice.viewing);
    m_printing->setChecked(choice.printing);
    m_annotation->setChecked(choice.annotation);
    m_fillingForms->setChecked(choice.fillingForms);
    m_copying->setChecked(choice.copying);
}

OutputProtectionChoice CPDFOutputOptionDlg::ReadControls() const {
    OutputProtectionChoice choice;
    choice.protectMode = m_protect->isChecked() ? 1 : 0;
    choice.password = m_password->text();
    choice.viewing = m_viewing->isChecked();
    choice.printing = m_printing->isChecked();
    choice.annotation = m_annotation->isChecked();
    choice.fillingForms = m_fillingForms->isChecked();
    choice.copying = m_copying->isChecked();
    return choice;
}

void CPDFOutputOptionDlg::OnInitDialog() {
    WriteControls(m_choice);
    // Protection is switched on only by an accepted password; after an accepted "protect with an
    // empty password" the controls stay off until a radio button is clicked.
    EnableProtectionControls(!m_ownerPassword.isEmpty() || !m_userPassword.isEmpty());
}

void CPDFOutputOptionDlg::OnOK() {
    OutputProtectionChoice choice = ReadControls();
    const int error = ValidateOutputProtection(choice);
    if (error != 0) {
        // The dialog stays open for correction and nothing it holds changes.
        AppMessageBox(this, error, {}, MessageIcon::Error);
        return;
    }
    if (choice.protectMode == 0) {
        choice.password.clear(); // the boxes keep their ticks
    }
    const OutputProtection result = ComputeOutputProtection(choice);
    m_choice = choice;
    m_ownerPassword = result.ownerPassword;
    m_userPassword = result.userPassword;
    m_permissions = result.permissions;
    accept();
}

int CPDFOutputOptionDlg::DoModal(QWidget* owner) {
    // Parent only while shown, so that the owner never deletes the save flow's object.
    setParent(owner, windowFlags());
    setWindowModality(Qt::ApplicationModal);
    OnInitDialog();
    int result = QDialog::Rejected;
    if (answerer()) {
        setResult(QDialog::Rejected);
        answerer()(*this);
        result = this->result();
    } else {
        result = exec();
    }
    setParent(nullptr, windowFlags());
    return result == QDialog::Accepted ? ids::IDOK : ids::IDCANCEL;
}

} // namespace plyfold
