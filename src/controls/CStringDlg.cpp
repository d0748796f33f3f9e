#include "controls/CStringDlg.h"

#include "controls/DialogOwner.h"
#include "controls/DialogUnits.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <initializer_list>

namespace plyfold {

namespace {

StringDlgAnswerer& answerer() {
    static StringDlgAnswerer instance;
    return instance;
}

QLineEdit* makeEdit(QWidget* parent, int id, const QRect& geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setGeometry(geometry);
    return edit;
}

} // namespace

CStringDlg::CStringDlg(QWidget* owner) : QDialog(owner != nullptr ? owner : DialogOwner()) {
    // An 8-point sans-serif dialog font; Arial maps to its metric twin where Arial is absent.
    QFont dialogFont(QStringLiteral("Arial"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    const DialogUnits units(dialogFont);

    setWindowTitle(QStringLiteral("Dialog"));
    setFixedSize(units.X(248), units.Y(46));

    m_prompt = new QLabel(this);
    m_prompt->setTextFormat(Qt::PlainText);
    m_prompt->setWordWrap(true);
    m_prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_prompt->hide();

    m_plainEdit = makeEdit(this, kPlainEditId, units.Rect(7, 7, 170, 14));
    m_passwordEdit = makeEdit(this, kPasswordEditId, units.Rect(7, 7, 170, 14));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_passwordEdit->hide();

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QString::number(kOkId));
    m_okButton->setGeometry(units.Rect(191, 7, 50, 14));
    m_okButton->setDefault(true);

    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QString::number(kCancelId));
    m_cancelButton->setGeometry(units.Rect(191, 24, 50, 14));

    // Tab order as the controls are listed: plain edit, password edit, OK, Cancel.
    setTabOrder(m_plainEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);

    connect(m_plainEdit, &QLineEdit::textChanged, this, [this](const QString& current) {
        if (!passwordMode) {
            OnTextChanged(current);
        }
    });
    connect(m_passwordEdit, &QLineEdit::textChanged, this, [this](const QString& current) {
        if (passwordMode) {
            OnTextChanged(current);
        }
    });
    connect(m_okButton, &QPushButton::clicked, this, &CStringDlg::OnOk);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CStringDlg::~CStringDlg() = default;

QLineEdit* CStringDlg::activeEdit() const {
    return passwordMode ? m_passwordEdit : m_plainEdit;
}

int CStringDlg::DoModal() {
    if (answerer()) {
        StringDlgRequest request;
        request.owner = parentWidget();
        request.title = title;
        request.text = text;
        request.passwordMode = passwordMode;
        request.allowEmpty = allowEmpty;
        request.maxLength = maxLength;
        std::optional<QString> answer = answerer()(request);
        if (!answer) {
            return kResultCancel;
        }
        QString typed = answer->left(maxLength);
        if (!allowEmpty) {
            typed = typed.trimmed();
            if (typed.isEmpty()) {
                return kResultCancel;
            }
        }
        text = typed;
        return kResultOk;
    }
    return exec() == QDialog::Accepted ? kResultOk : kResultCancel;
}

void CStringDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        Initialise();
    }
    QDialog::showEvent(event);
}

void CStringDlg::Initialise() {
    if (!title.isEmpty()) {
        setWindowTitle(title);
        ShowPrompt();
    }
    m_plainEdit->setVisible(!passwordMode);
    m_passwordEdit->setVisible(passwordMode);
    QLineEdit* edit = activeEdit();
    edit->setMaxLength(maxLength);
    edit->setText(text.left(maxLength));
    // setText does not signal when the text is unchanged (empty): set the OK state explicitly.
    OnTextChanged(edit->text());
    edit->setFocus();
}

void CStringDlg::ShowPrompt() {
    // The question across the dialog, wrapped (inside a long file name too, where it has no
    // spaces); the edit box and the buttons move down below it and the dialog grows to match.
    const DialogUnits units(font());
    const QRect line = units.Rect(7, 7, 234, 8);
    m_prompt->setText(title);
    m_prompt->setGeometry(line.x(), line.y(), line.width(),
                          std::max(line.height(), m_prompt->heightForWidth(line.width())));
    m_prompt->show();
    const int shift = m_prompt->height() + units.Y(4);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_plainEdit, m_passwordEdit, m_okButton, m_cancelButton}) {
        control->move(control->x(), control->y() + shift);
    }
    setFixedSize(width(), units.Y(46) + shift);
    // The edit boxes are named by the question for assistive tools.
    m_prompt->setBuddy(activeEdit());
    m_plainEdit->setAccessibleName(title);
    m_passwordEdit->setAccessibleName(title);
}

void CStringDlg::OnTextChanged(const QString& current) {
    if (!allowEmpty) {
        m_okButton->setEnabled(!current.trimmed().isEmpty());
    }
}

void CStringDlg::OnOk() {
    QString typed = activeEdit()->text();
    if (!allowEmpty) {
        typed = typed.trimmed();
        if (typed.isEmpty()) {
            activeEdit()->setFocus();
            return;
        }
    }
    text = typed;
    accept();
}

void SetStringDlgAnswerer(StringDlgAnswerer answererFunction) {
    answerer() = std::move(answererFunction);
}

} // namespace plyfold
