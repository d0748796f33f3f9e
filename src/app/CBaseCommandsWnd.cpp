#include "app/CBaseCommandsWnd.h"

#include "app/CommandTarget.h"
#include "app/ShellOpen.h"
#include "res/CommandIds.h"
#include "res/Links.h"
#include "res/Menus.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace plyfold {

// ---- CCommandButton ---------------------------------------------------------------------------

CCommandButton::CCommandButton(int commandId, const QString& caption, const QImage& picture,
                               const QFont& font, QWidget* parent)
    : QAbstractButton(parent), m_commandId(commandId), m_picture(picture) {
    setText(caption);
    setFont(font);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    resize(sizeHint());
}

void CCommandButton::SetTipText(const QString& tipText) {
    if (tipText == m_tipText) {
        return;
    }
    m_tipText = tipText;
    setToolTip(tipText.isEmpty() ? QString() : TwoPartToolTip(tipText));
}

QSize CCommandButton::sizeHint() const {
    const QSize pictureSize = m_picture.isNull() ? QSize(0, 0) : m_picture.size();
    int width = pictureSize.width();
    int height = pictureSize.height();
    if (!text().isEmpty()) {
        const QFontMetrics metrics(font());
        width += (width > 0 ? kSpacing : 0) + metrics.horizontalAdvance(text());
        height = std::max(height, metrics.height());
    }
    return {width + 2 * kMarginX, height + 2 * kMarginY};
}

void CCommandButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Transparent over the bar; a light wash under the pointer, a stronger one while pressed.
    if (isDown() || underMouse()) {
        painter.setPen(QColor(255, 255, 255, isDown() ? 120 : 80));
        painter.setBrush(QColor(255, 255, 255, isDown() ? 60 : 28));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
    const int shift = isDown() ? 1 : 0;
    int x = kMarginX + shift;
    if (!m_picture.isNull()) {
        const int y = (height() - m_picture.height()) / 2 + shift;
        const QImage sharp = m_pictureId != 0
                                 ? LoadResImage(ResKind::Png, m_pictureId, devicePixelRatioF())
                                 : QImage();
        painter.drawImage(QRect(QPoint(x, y), m_picture.size()),
                          sharp.isNull() ? m_picture : sharp);
        x += m_picture.width() + kSpacing;
    }
    if (!text().isEmpty()) {
        painter.setPen(QColor(255, 255, 255));
        painter.setFont(font());
        painter.drawText(QRect(x, shift, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         text());
    }
}

QString TwoPartToolTip(const QString& tipText) {
    const qsizetype split = tipText.indexOf(QLatin1Char('\n'));
    const QString title = split < 0 ? tipText : tipText.left(split);
    const QString description = split < 0 ? QString() : tipText.mid(split + 1);
    QString html =
        QStringLiteral("<p style='white-space:pre'><b>%1</b></p>").arg(title.toHtmlEscaped());
    if (!description.isEmpty()) {
        html += QStringLiteral("<table width='200'><tr><td>%1</td></tr></table>")
                    .arg(description.toHtmlEscaped());
    }
    return html;
}

// ---- CBaseCommandsWnd -------------------------------------------------------------------------

CBaseCommandsWnd::CBaseCommandsWnd(QWidget* parent) : QWidget(parent) {
    // The pictures come first: the layout and the painting rely on their sizes.
    m_background = LoadResImage(ResKind::Bitmap, ids::IDB_COMMAND_BAR);
    m_logo = LoadResImage(ResKind::Png, ids::IDP_LOGO);

    m_barFont = QFont(QStringLiteral("Arial"));
    m_barFont.setPointSize(11);
    m_barFont.setWeight(QFont::Bold);

    setMouseTracking(true); // the logo's hand cursor follows the pointer
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_helpButton = CreateCommandButton(ids::ID_HELP, 0, ids::IDP_HELP, 0);
    m_helpButton->setObjectName(QStringLiteral("helpButton"));
    // No caption and no tooltip: the button is named for screen readers only.
    m_helpButton->setAccessibleName(tr("Help"));

    m_helpMenu = new QMenu(this);
    m_helpMenu->setObjectName(QStringLiteral("helpMenu"));
    m_helpMenu->setAccessibleName(m_helpButton->accessibleName());
    for (const MenuItemDef& item : MenuDefinition(ids::IDR_HELP_MENU)) {
        if (item.separator) {
            m_helpMenu->addSeparator();
            continue;
        }
        QAction* action = m_helpMenu->addAction(item.text);
        action->setData(item.commandId);
    }
}

CBaseCommandsWnd::~CBaseCommandsWnd() = default;

QRect CBaseCommandsWnd::logoRect() const {
    if (m_logo.isNull()) {
        return {};
    }
    return {QPoint(kLogoX, (height() - m_logo.height()) / 2), m_logo.size()};
}

CCommandButton* CBaseCommandsWnd::CreateCommandButton(int commandId, int captionId, int pictureId,
                                                      int tipId) {
    const QString caption = captionId != 0 ? LoadResString(captionId) : QString();
    auto* button = new CCommandButton(commandId, caption, LoadResImage(ResKind::Png, pictureId),
                                      m_barFont, this);
    button->SetPictureSource(pictureId);
    if (tipId != 0) {
        const QString tip = LoadResString(tipId);
        button->SetTipText(tip);
        if (caption.isEmpty()) {
            button->setAccessibleName(tip.section(QLatin1Char('\n'), 0, 0));
        }
        button->setAccessibleDescription(tip.section(QLatin1Char('\n'), 1));
    }
    if (!caption.isEmpty()) {
        button->setAccessibleName(caption);
    }
    connect(button, &QAbstractButton::clicked, this,
            [this, commandId] { OnChildCommand(commandId); });
    button->show();
    return button;
}

void CBaseCommandsWnd::OnChildCommand(int commandId) {
    if (commandId == ids::ID_HELP) {
        DropHelpMenu();
        return;
    }
    PostCommand(this, commandId);
}

void CBaseCommandsWnd::DropHelpMenu() {
    const QPoint lowerLeft = m_helpButton->mapToGlobal(QPoint(0, m_helpButton->height()));
    QAction* chosen =
        m_menuRunner ? m_menuRunner(*m_helpMenu, lowerLeft) : m_helpMenu->exec(lowerLeft);
    if (chosen == nullptr) {
        return;
    }
    const int commandId = chosen->data().toInt();
    if (commandId != 0) {
        OnChildCommand(commandId);
    }
}

void CBaseCommandsWnd::LayoutBar(int cx, int /*cy*/) {
    const QSize size = m_helpButton->sizeHint();
    m_helpButton->setGeometry(cx - size.width(), 0, size.width(), size.height());
}

void CBaseCommandsWnd::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), QColor(40, 40, 44));
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_background);
    }
    if (!m_logo.isNull()) {
        // Drawn from its source at the screen's pixel density, at the picture's logical size.
        const QImage sharp = LoadResImage(ResKind::Png, ids::IDP_LOGO, devicePixelRatioF());
        painter.drawImage(logoRect(), sharp.isNull() ? m_logo : sharp);
    }
}

void CBaseCommandsWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutBar(width(), height());
}

void CBaseCommandsWnd::UpdateLinkCursor(const QPoint& pos) {
    if (logoRect().contains(pos)) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void CBaseCommandsWnd::mouseMoveEvent(QMouseEvent* event) {
    UpdateLinkCursor(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void CBaseCommandsWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && logoRect().contains(event->position().toPoint())) {
        ShellOpenUrl(QUrl(QString::fromLatin1(links::kMakerHomeUrl)));
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CBaseCommandsWnd::leaveEvent(QEvent* event) {
    unsetCursor();
    QWidget::leaveEvent(event);
}

} // namespace plyfold
