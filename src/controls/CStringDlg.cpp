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

    prompt_ = new QLabel(this);
    prompt_->setTextFormat(Qt::PlainText);
    prompt_->setWordWrap(true);
    prompt_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    prompt_->hide();

    plainEdit_ = makeEdit(this, kPlainEditId, units.Rect(7, 7, 170, 14));
    passwordEdit_ = makeEdit(this, kPasswordEditId, units.Rect(7, 7, 170, 14));
    passwordEdit_->setEchoMode(QLineEdit::Password);
    passwordEdit_->hide();

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QString::number(kOkId));
    okButton_->setGeometry(units.Rect(191, 7, 50, 14));
    okButton_->setDefault(true);

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QString::number(kCancelId));
    cancelButton_->setGeometry(units.Rect(191, 24, 50, 14));

    // Tab order as the controls are listed: plain edit, password edit, OK, Cancel.
    setTabOrder(plainEdit_, passwordEdit_);
    setTabOrder(passwordEdit_, okButton_);
    setTabOrder(okButton_, cancelButton_);

    connect(plainEdit_, &QLineEdit::textChanged, this, [this](const QString& current) {
        if (!passwordMode) {
            OnTextChanged(current);
        }
    });
    connect(passwordEdit_, &QLineEdit::textChanged, this, [this](const QString& current) {
        if (passwordMode) {
            OnTextChanged(current);
        }
    });
    connect(okButton_, &QPushButton::clicked, this, &CStringDlg::OnOk);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

CStringDlg::~CStringDlg() = default;

QLineEdit* CStringDlg::activeEdit() const {
    return passwordMode ? passwordEdit_ : plainEdit_;
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
    if (!initialised_) {
        initialised_ = true;
        Initialise();
    }
    QDialog::showEvent(event);
}

void CStringDlg::Initialise() {
    if (!title.isEmpty()) {
        setWindowTitle(title);
        ShowPrompt();
    }
    plainEdit_->setVisible(!passwordMode);
    passwordEdit_->setVisible(passwordMode);
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
    prompt_->setText(title);
    prompt_->setGeometry(line.x(), line.y(), line.width(),
                         std::max(line.height(), prompt_->heightForWidth(line.width())));
    prompt_->show();
    const int shift = prompt_->height() + units.Y(4);
    for (QWidget* control :
         std::initializer_list<QWidget*>{plainEdit_, passwordEdit_, okButton_, cancelButton_}) {
        control->move(control->x(), control->y() + shift);
    }
    setFixedSize(width(), units.Y(46) + shift);
    // The edit boxes are named by the question for assistive tools.
    prompt_->setBuddy(activeEdit());
    plainEdit_->setAccessibleName(title);
    passwordEdit_->setAccessibleName(title);
}

void CStringDlg::OnTextChanged(const QString& current) {
    if (!allowEmpty) {
        okButton_->setEnabled(!current.trimmed().isEmpty());
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
