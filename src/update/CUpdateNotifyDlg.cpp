#include "update/CUpdateNotifyDlg.h"

#include "controls/DialogUnits.h"

#include "res/Strings.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

namespace plyfold {

namespace {

using Units = DialogUnits;

CUpdateNotifyDlg::Answerer& answerer() {
    static CUpdateNotifyDlg::Answerer instance;
    return instance;
}

const QString kBullet = QStringLiteral("\u2022");

} // namespace

CUpdateNotifyDlg::CUpdateNotifyDlg(const UpdateInfo& info, const QString& productName,
                                   QWidget* parent)
    : QDialog(parent), info_(info), productName_(productName) {
    setObjectName(QString::number(ids::IDD_UPDATE_NOTIFY));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("A New <product> Update is Available"));
    const bool paid = info_.kind == UpdateInfo::PaidUpgrade;
    actionText_ = LoadResString(paid ? ids::IDS_PURCHASE_UPDATE : ids::IDS_DOWNLOAD);
    declineText_ = LoadResString(paid ? ids::IDS_CLOSE : ids::IDS_IGNORE);
    BuildControls();
}

CUpdateNotifyDlg::~CUpdateNotifyDlg() = default;

void CUpdateNotifyDlg::SetAnswerer(Answerer answererFunction) {
    answerer() = std::move(answererFunction);
}

void CUpdateNotifyDlg::BuildControls() {
    const Units du(font());
    setFixedSize(du.X(316), du.Y(135));

    auto label = [this, &du](int id, const QString& text, QRect units, bool wrap) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::number(id));
        // Texts from the server are shown as they are, never as markup.
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setWordWrap(wrap);
        l->setGeometry(du.Rect(units.x(), units.y(), units.width(), units.height()));
        return l;
    };

    headline_ = label(ids::IDC_UPDATE_HEADLINE,
                      QStringLiteral("Version <version> of <product> is available for download!"),
                      QRect(7, 7, 261, 15), true);

    bullets_[0] = label(ids::IDC_UPDATE_BULLET1, kBullet, QRect(16, 40, 8, 8), false);
    lines_[0] = label(ids::IDC_UPDATE_LINE1, QStringLiteral("Bullet 1\nSecond Line"),
                      QRect(27, 40, 282, 16), true);
    bullets_[1] = label(ids::IDC_UPDATE_BULLET2, kBullet, QRect(16, 57, 8, 8), false);
    lines_[1] = label(ids::IDC_UPDATE_LINE2, QStringLiteral("Bullet 2\nSecond Line"),
                      QRect(27, 57, 282, 16), true);
    bullets_[2] = label(ids::IDC_UPDATE_BULLET3, kBullet, QRect(16, 74, 8, 8), false);
    lines_[2] =
        label(ids::IDC_UPDATE_LINE3, QStringLiteral("Static"), QRect(27, 74, 282, 29), true);

    // A button that looks and acts like a hyperlink.
    moreInfo_ = new QPushButton(QStringLiteral("&More Information..."), this);
    moreInfo_->setObjectName(QString::number(ids::IDC_UPDATE_MORE_INFO));
    moreInfo_->setFlat(true);
    moreInfo_->setAutoDefault(false);
    moreInfo_->setCursor(Qt::PointingHandCursor);
    moreInfo_->setStyleSheet(
        QStringLiteral("QPushButton { color: #0066cc; text-decoration: underline; border: none; "
                       "text-align: left; padding: 0px; background: transparent; }"));
    moreInfo_->setGeometry(du.Rect(7, 114, 88, 14));

    action_ = new QPushButton(QStringLiteral("<action>"), this);
    action_->setObjectName(QString::number(ids::IDC_UPDATE_ACTION));
    action_->setGeometry(du.Rect(162, 114, 87, 14));
    action_->setDefault(true);

    decline_ = new QPushButton(QStringLiteral("<cancel>"), this);
    decline_->setObjectName(QString::number(ids::IDC_UPDATE_DECLINE));
    decline_->setGeometry(du.Rect(259, 114, 50, 14));
    decline_->setAutoDefault(false);

    connect(moreInfo_, &QPushButton::clicked, this, &CUpdateNotifyDlg::OpenLink);
    connect(action_, &QPushButton::clicked, this, [this] { done(kAccepted); });
    connect(decline_, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* CUpdateNotifyDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QString CUpdateNotifyDlg::linkTarget() const {
    return linkTarget_;
}

void CUpdateNotifyDlg::OnInitDialog() {
    if (initialised_) {
        return;
    }
    initialised_ = true;

    // Placeholders, in this order, in the caption and in every child control's text.
    const QString version = FormatVersion(info_.version, 4);
    auto fill = [&](QString text) {
        text.replace(QStringLiteral("<product>"), productName_);
        text.replace(QStringLiteral("<action>"), actionText_);
        text.replace(QStringLiteral("<version>"), version);
        text.replace(QStringLiteral("<cancel>"), declineText_);
        return text;
    };
    setWindowTitle(fill(windowTitle()));
    for (QLabel* l : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        l->setText(fill(l->text()));
    }
    for (QPushButton* b : findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        b->setText(fill(b->text()));
    }

    // The news lines: one slot per line, in order; an empty line leaves its slot (and bullet)
    // hidden, and lines after the third are not shown.
    for (int slot = 0; slot < 3; ++slot) {
        const bool show = slot < info_.lines.size() && !info_.lines.at(slot).isEmpty();
        if (show) {
            lines_[slot]->setText(info_.lines.at(slot));
        }
        lines_[slot]->setVisible(show);
        bullets_[slot]->setVisible(show);
    }

    linkTarget_ = info_.infoAddress;
    moreInfo_->setToolTip(linkTarget_);
    action_->setDefault(true);
    action_->setFocus();
    // With the texts filled in, every one-line text gets the room it needs in this font.
    FitChildTexts(this, DialogUnits(font()).X(7));
}

void CUpdateNotifyDlg::OpenLink() {
    // The address comes from the server's reply: only web pages are opened, never local files
    // or programs.
    const QUrl url(linkTarget_, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        return;
    }
    QDesktopServices::openUrl(url);
}

int CUpdateNotifyDlg::DoModal() {
    OnInitDialog();
    int result = kDeclined;
    if (answerer()) {
        setResult(0);
        answerer()(*this);
        result = this->result();
    } else {
        result = exec();
    }
    return result == kAccepted ? kAccepted : kDeclined;
}

} // namespace plyfold
