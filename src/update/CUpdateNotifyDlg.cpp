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
    : QDialog(parent), m_info(info), m_productName(productName) {
    setObjectName(QString::number(ids::IDD_UPDATE_NOTIFY));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("A New <product> Update is Available"));
    const bool paid = m_info.kind == UpdateInfo::PaidUpgrade;
    m_actionText = LoadResString(paid ? ids::IDS_PURCHASE_UPDATE : ids::IDS_DOWNLOAD);
    m_declineText = LoadResString(paid ? ids::IDS_CLOSE : ids::IDS_IGNORE);
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

    m_headline = label(ids::IDC_UPDATE_HEADLINE,
                       QStringLiteral("Version <version> of <product> is available for download!"),
                       QRect(7, 7, 261, 15), true);

    m_bullets[0] = label(ids::IDC_UPDATE_BULLET1, kBullet, QRect(16, 40, 8, 8), false);
    m_lines[0] = label(ids::IDC_UPDATE_LINE1, QStringLiteral("Bullet 1\nSecond Line"),
                       QRect(27, 40, 282, 16), true);
    m_bullets[1] = label(ids::IDC_UPDATE_BULLET2, kBullet, QRect(16, 57, 8, 8), false);
    m_lines[1] = label(ids::IDC_UPDATE_LINE2, QStringLiteral("Bullet 2\nSecond Line"),
                       QRect(27, 57, 282, 16), true);
    m_bullets[2] = label(ids::IDC_UPDATE_BULLET3, kBullet, QRect(16, 74, 8, 8), false);
    m_lines[2] =
        label(ids::IDC_UPDATE_LINE3, QStringLiteral("Static"), QRect(27, 74, 282, 29), true);

    // A button that looks and acts like a hyperlink.
    m_moreInfo = new QPushButton(QStringLiteral("&More Information..."), this);
    m_moreInfo->setObjectName(QString::number(ids::IDC_UPDATE_MORE_INFO));
    m_moreInfo->setFlat(true);
    m_moreInfo->setAutoDefault(false);
    m_moreInfo->setCursor(Qt::PointingHandCursor);
    m_moreInfo->setStyleSheet(
        QStringLiteral("QPushButton { color: #0066cc; text-decoration: underline; border: none; "
                       "text-align: left; padding: 0px; background: transparent; }"));
    m_moreInfo->setGeometry(du.Rect(7, 114, 88, 14));

    m_action = new QPushButton(QStringLiteral("<action>"), this);
    m_action->setObjectName(QString::number(ids::IDC_UPDATE_ACTION));
    m_action->setGeometry(du.Rect(162, 114, 87, 14));
    m_action->setDefault(true);

    m_decline = new QPushButton(QStringLiteral("<cancel>"), this);
    m_decline->setObjectName(QString::number(ids::IDC_UPDATE_DECLINE));
    m_decline->setGeometry(du.Rect(259, 114, 50, 14));
    m_decline->setAutoDefault(false);

    connect(m_moreInfo, &QPushButton::clicked, this, &CUpdateNotifyDlg::OpenLink);
    connect(m_action, &QPushButton::clicked, this, [this] { done(kAccepted); });
    connect(m_decline, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* CUpdateNotifyDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QString CUpdateNotifyDlg::linkTarget() const {
    return m_linkTarget;
}

void CUpdateNotifyDlg::OnInitDialog() {
    if (m_initialised) {
        return;
    }
    m_initialised = true;

    // Placeholders, in this order, in the caption and in every child control's text.
    const QString version = FormatVersion(m_info.version, 4);
    auto fill = [&](QString text) {
        text.replace(QStringLiteral("<product>"), m_productName);
        text.replace(QStringLiteral("<action>"), m_actionText);
        text.replace(QStringLiteral("<version>"), version);
        text.replace(QStringLiteral("<cancel>"), m_declineText);
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
        const bool show = slot < m_info.lines.size() && !m_info.lines.at(slot).isEmpty();
        if (show) {
            m_lines[slot]->setText(m_info.lines.at(slot));
        }
        m_lines[slot]->setVisible(show);
        m_bullets[slot]->setVisible(show);
    }

    m_linkTarget = m_info.infoAddress;
    m_moreInfo->setToolTip(m_linkTarget);
    m_action->setDefault(true);
    m_action->setFocus();
    // With the texts filled in, every one-line text gets the room it needs in this font.
    FitChildTexts(this, DialogUnits(font()).X(7));
}

void CUpdateNotifyDlg::OpenLink() {
    // The address comes from the server's reply: only web pages are opened, never local files
    // or programs.
    const QUrl url(m_linkTarget, QUrl::StrictMode);
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
