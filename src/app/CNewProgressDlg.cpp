#include "app/CNewProgressDlg.h"

#include "controls/DialogUnits.h"

#include "work/NewProgressHandler.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace plyfold {

namespace {

using Units = DialogUnits;

constexpr int kDialogWidth = 246;
constexpr int kDialogHeight = 102;

} // namespace

CNewProgressDlg::CNewProgressDlg(QWidget* parent, NewProgressHandler* handler)
    : QDialog(parent), handler_(handler) {
    // A title bar without the window menu and its close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setObjectName(QString::number(ids::IDD_PROGRESS));
    BuildControls();
}

CNewProgressDlg::~CNewProgressDlg() {
    if (handler_ != nullptr && handler_->HasDisplay(this)) {
        handler_->RemoveDisplay(this);
    }
}

void CNewProgressDlg::BuildControls() {
    const Units du(font());
    setFixedSize(du.X(kDialogWidth), du.Y(kDialogHeight));

    text_ = new QLabel(QStringLiteral("Static"), this);
    text_->setTextFormat(Qt::PlainText);
    text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text_->setWordWrap(true);
    text_->setGeometry(du.Rect(7, 7, 232, 27));

    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    bar_->setGeometry(du.Rect(7, 39, 232, 14));

    background_ = new QPushButton(QStringLiteral("&Work in Background"), this);
    background_->setGeometry(du.Rect(30, 81, 100, 14));
    background_->setAutoDefault(false);

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setGeometry(du.Rect(165, 81, 50, 14));

    text_->setObjectName(QString::number(ids::IDC_PROGRESS_TEXT));
    bar_->setObjectName(QString::number(ids::IDC_PROGRESS_BAR));
    background_->setObjectName(QString::number(ids::IDC_WORK_IN_BACKGROUND));
    cancel_->setObjectName(QString::number(ids::IDC_PROGRESS_CANCEL));

    connect(cancel_, &QPushButton::clicked, this, &CNewProgressDlg::reject);
}

QWidget* CNewProgressDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CNewProgressDlg::OnInitDialog() {
    finished_ = false;
    cancelled = false;
    cancel_->setEnabled(true);

    setWindowTitle(caption_);
    text_->setText(QString());

    if (handler_ != nullptr) {
        handler_->AddDisplay(this);
    }

    background_->hide();
    // Cancel alone, centred under the bar.
    QRect cancelRect = cancel_->geometry();
    cancelRect.moveLeft((width() - cancelRect.width()) / 2);
    cancel_->setGeometry(cancelRect);
}

int CNewProgressDlg::DoModal() {
    setResult(0);
    OnInitDialog();
    if (finished_) {
        // The work ended before the dialog could open: nothing to wait for.
        return 1;
    }
    exec();
    return finished_ ? 1 : result();
}

void CNewProgressDlg::SetRange(int min, int max, int pos) {
    marquee_ = false;
    // A smooth bar: a real range (0 to 0 would make it a marquee again).
    bar_->setRange(min, std::max(max, min + 1));
    bar_->setValue(pos);
}

void CNewProgressDlg::SetMarquee() {
    marquee_ = true;
    bar_->setRange(0, 0);
}

void CNewProgressDlg::SetText(const QString& text, int pos) {
    text_->setText(text);
    if (pos != -1) {
        bar_->setValue(pos);
    }
}

void CNewProgressDlg::SetPos(int pos) {
    bar_->setValue(pos);
}

void CNewProgressDlg::EnableCancel(bool enable) {
    if (finished_ || cancelled) {
        return;
    }
    cancel_->setEnabled(enable);
}

bool CNewProgressDlg::Finished(int code, std::intptr_t value) {
    finished_ = true;
    if (storeResult) {
        finishedCode = code;
        finishedValue = value;
    }
    if (handler_ != nullptr) {
        handler_->RemoveDisplay(this);
    }
    done(1);
    return false;
}

void CNewProgressDlg::reject() {
    OnCancel();
}

void CNewProgressDlg::OnCancel() {
    if (finished_ || cancelled) {
        return;
    }
    cancelled = true;
    cancel_->setEnabled(false);
    if (handler_ != nullptr) {
        handler_->UserCancel();
    }
}

} // namespace plyfold
