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
    : QDialog(parent), m_handler(handler) {
    // A title bar without the window menu and its close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setObjectName(QString::number(ids::IDD_PROGRESS));
    BuildControls();
}

CNewProgressDlg::~CNewProgressDlg() {
    if (m_handler != nullptr && m_handler->HasDisplay(this)) {
        m_handler->RemoveDisplay(this);
    }
}

void CNewProgressDlg::BuildControls() {
    const Units du(font());
    setFixedSize(du.X(kDialogWidth), du.Y(kDialogHeight));

    m_text = new QLabel(QStringLiteral("Static"), this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_text->setWordWrap(true);
    m_text->setGeometry(du.Rect(7, 7, 232, 27));

    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    m_bar->setGeometry(du.Rect(7, 39, 232, 14));

    m_background = new QPushButton(QStringLiteral("&Work in Background"), this);
    m_background->setGeometry(du.Rect(30, 81, 100, 14));
    m_background->setAutoDefault(false);

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(du.Rect(165, 81, 50, 14));

    m_text->setObjectName(QString::number(ids::IDC_PROGRESS_TEXT));
    m_bar->setObjectName(QString::number(ids::IDC_PROGRESS_BAR));
    m_background->setObjectName(QString::number(ids::IDC_WORK_IN_BACKGROUND));
    m_cancel->setObjectName(QString::number(ids::IDC_PROGRESS_CANCEL));

    connect(m_cancel, &QPushButton::clicked, this, &CNewProgressDlg::reject);
}

QWidget* CNewProgressDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CNewProgressDlg::OnInitDialog() {
    m_finished = false;
    cancelled = false;
    m_cancel->setEnabled(true);

    setWindowTitle(m_caption);
    m_text->setText(QString());

    if (m_handler != nullptr) {
        m_handler->AddDisplay(this);
    }

    m_background->hide();
    // Cancel alone, centred under the bar.
    QRect cancelRect = m_cancel->geometry();
    cancelRect.moveLeft((width() - cancelRect.width()) / 2);
    m_cancel->setGeometry(cancelRect);
}

int CNewProgressDlg::DoModal() {
    setResult(0);
    OnInitDialog();
    if (m_finished) {
        // The work ended before the dialog could open: nothing to wait for.
        return 1;
    }
    exec();
    return m_finished ? 1 : result();
}

void CNewProgressDlg::SetRange(int min, int max, int pos) {
    m_marquee = false;
    // A smooth bar: a real range (0 to 0 would make it a marquee again).
    m_bar->setRange(min, std::max(max, min + 1));
    m_bar->setValue(pos);
}

void CNewProgressDlg::SetMarquee() {
    m_marquee = true;
    m_bar->setRange(0, 0);
}

void CNewProgressDlg::SetText(const QString& text, int pos) {
    m_text->setText(text);
    if (pos != -1) {
        m_bar->setValue(pos);
    }
}

void CNewProgressDlg::SetPos(int pos) {
    m_bar->setValue(pos);
}

void CNewProgressDlg::EnableCancel(bool enable) {
    if (m_finished || cancelled) {
        return;
    }
    m_cancel->setEnabled(enable);
}

bool CNewProgressDlg::Finished(int code, std::intptr_t value) {
    m_finished = true;
    if (storeResult) {
        finishedCode = code;
        finishedValue = value;
    }
    if (m_handler != nullptr) {
        m_handler->RemoveDisplay(this);
    }
    done(1);
    return false;
}

void CNewProgressDlg::reject() {
    OnCancel();
}

void CNewProgressDlg::OnCancel() {
    if (m_finished || cancelled) {
        return;
    }
    cancelled = true;
    m_cancel->setEnabled(false);
    if (m_handler != nullptr) {
        m_handler->UserCancel();
    }
}

} // namespace plyfold
