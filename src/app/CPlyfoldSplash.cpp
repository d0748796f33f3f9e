#include "app/CPlyfoldSplash.h"

#include "engine/Registry.h"
#include "engine/VersionInfo.h"
#include "res/Links.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QTimerEvent>
#include <qdrawutil.h>

#include <memory>

namespace plyfold {

namespace {

constexpr auto kMachineKey = "Software\\Tessarine\\Plyfold";

// One row of the text tables: the string and how it is laid out over the picture.
struct TextRow {
    int stringId;
    int left, top, right, bottom;
    bool bold;
    bool italic;
    int pointSize;
    QRgb colour;
};

// Drawn in every mode.
constexpr TextRow kAlwaysRows[] = {
    {ids::IDS_SPLASH_VERSION, 24, 132, 320, 219, true, false, 10, qRgb(0, 0, 0)},
    {ids::IDS_SPLASH_COPYRIGHT, 24, 265, 320, 284, false, false, 8, qRgb(64, 64, 64)},
};
// Drawn in about mode only.
constexpr TextRow kAboutRows[] = {
    {ids::IDS_CLICK_TO_DISMISS, 303, 216, 440, 280, false, true, 9, qRgb(64, 64, 64)},
};

CPlyfoldSplash* currentSplash = nullptr;

// a * b / c rounded to nearest.
int mulDiv(int a, int b, int c) {
    return static_cast<int>((static_cast<long long>(a) * b + c / 2) / c);
}

// Replaces every placeholder in one pass, so that a replacement that happens to contain a
// placeholder (a company called "<user>") is shown as it is.
QString ReplacePlaceholders(const QString& text, const SplashFields& fields) {
    static const QRegularExpression placeholder(
        QStringLiteral("<version>|<user>|<company>|<copyright>"));
    QString result;
    qsizetype done = 0;
    QRegularExpressionMatchIterator it = placeholder.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(done, match.capturedStart() - done);
        const QStringView name = match.capturedView();
        if (name == u"<version>") {
            result += fields.version;
        } else if (name == u"<user>") {
            result += fields.user;
        } else if (name == u"<company>") {
            result += fields.company;
        } else {
            result += fields.copyright;
        }
        done = match.capturedEnd();
    }
    result += QStringView(text).mid(done);
    return result;
}

} // namespace

SplashFields ReadSplashFields() {
    SplashFields fields;
    fields.user = ReadRegString(QString::fromLatin1(kMachineKey), QStringLiteral("UserName"));
    fields.company = ReadRegString(QString::fromLatin1(kMachineKey), QStringLiteral("CompanyName"));
    std::unique_ptr<VersionBlock> block;
    ModuleVersion version;
    if (ReadVersionInfo(nullptr, block) && block) {
        version = block->productVersion;
        VersionInfoString(block.get(), &fields.copyright);
    }
    fields.version = FormatVersion(version, 4);
    return fields;
}

std::vector<SplashTextItem> BuildSplashTextItems(bool aboutMode, const SplashFields& fields) {
    std::vector<SplashTextItem> items;
    auto add = [&](const TextRow& row) {
        if (!HasResString(row.stringId)) {
            return;
        }
        SplashTextItem item;
        item.text = ReplacePlaceholders(LoadResString(row.stringId), fields);
        item.rect = QRect(row.left, row.top, row.right - row.left, row.bottom - row.top);
        item.bold = row.bold ? 1 : 0;
        item.italic = row.italic ? 1 : 0;
        item.pointSize = row.pointSize;
        item.colour = QColor::fromRgb(row.colour);
        items.push_back(std::move(item));
    };
    for (const TextRow& row : kAlwaysRows) {
        add(row);
    }
    if (aboutMode) {
        for (const TextRow& row : kAboutRows) {
            add(row);
        }
    }
    return items;
}

// ----------------------------------------------------------------------------------------------
// CSplashScreen

CSplashScreen::CSplashScreen(QWidget* owner)
    // With an owner it is a dialog of it: only a dialog is marked for the window manager as
    // belonging to its owner (transient for it), and so kept in front of it.
    : QWidget(owner, (owner != nullptr ? Qt::Dialog : Qt::Window) | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Plyfold::Splash"));
    setWindowIcon(LoadResIcon(ids::IDI_MAINFRAME));
    // A white background under the picture and the frame.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
}

CSplashScreen::~CSplashScreen() {
    if (m_modalLoop != nullptr) {
        m_modalLoop->exit(2);
    }
}

bool CSplashScreen::CreateSplash(std::vector<SplashTextItem> items, bool topmost) {
    m_picture = LoadResImage(ResKind::Png, ids::IDP_SPLASH);
    if (m_picture.isNull()) {
        return false;
    }
    m_items = std::move(items);

    const int frame = FrameWidth();
    const QSize size(m_picture.width() + 2 * frame, m_picture.height() + 2 * frame);
    // The window's shape is the rectangle of the picture and its frame: the window itself, so no
    // mask is needed.
    setFixedSize(size);

    // Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.x() + (desktop.width() - size.width()) / 2,
             desktop.y() + (desktop.height() - size.height()) / 2);
    }
    setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    show();
    repaint();
    return true;
}

bool CSplashScreen::ArmCloseTimer() {
    if (m_closeTimerArmed) {
        return false;
    }
    m_qtTimerId = startTimer(kCloseTimerMs);
    m_closeTimerArmed = m_qtTimerId != 0;
    return m_closeTimerArmed;
}

void CSplashScreen::Close(bool synchronous) {
    if (m_modalLoop != nullptr) {
        m_modalLoop->exit(2);
        return;
    }
    if (synchronous) {
        close();
        delete this;
    } else {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

int CSplashScreen::RunModalLoop(QWidget* mainWindow) {
    QPointer<CSplashScreen> self(this);
    QPointer<QWidget> main(mainWindow != this ? mainWindow : nullptr);
    if (main) {
        main->setEnabled(false);
        // Disabling a window disables the windows it owns too; this one takes the click that
        // dismisses it.
        setEnabled(true);
    }
    raise();
    activateWindow();

    QEventLoop loop;
    m_modalLoop = &loop;
    const int result = loop.exec();

    if (main) {
        main->setEnabled(true);
    }
    if (self) {
        m_modalLoop = nullptr;
        Close(false);
    }
    return result;
}

void CSplashScreen::PaintFrame(QPainter& /*painter*/) const {}

void CSplashScreen::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintFrame(painter);

    const int frame = FrameWidth();
    painter.translate(frame, frame);
    // The picture's drawing at the screen's pixel density, at the picture's logical size.
    const QImage sharp = LoadResImage(ResKind::Png, ids::IDP_SPLASH, devicePixelRatioF());
    painter.drawImage(QRect(QPoint(0, 0), m_picture.size()),
                      sharp.isNull() || sharp.size() == m_picture.size() ? m_picture : sharp);

    painter.setBackgroundMode(Qt::TransparentMode);
    for (const SplashTextItem& item : m_items) {
        QFont font(QStringLiteral("Arial"));
        font.setStyleHint(QFont::SansSerif);
        // The point size at the screen's vertical resolution, as a character height in pixels.
        font.setPixelSize(std::max(1, mulDiv(item.pointSize, logicalDpiY(), 72)));
        font.setWeight(item.bold != 0 ? QFont::Bold : QFont::Normal);
        font.setItalic(item.italic != 0);
        painter.save();
        painter.setFont(font);
        painter.setPen(item.colour);
        painter.setClipRect(item.rect);
        // Left-aligned from the top; lines break only at the line feeds of the text.
        painter.drawText(item.rect, Qt::AlignLeft | Qt::AlignTop, item.text);
        painter.restore();
    }
}

void CSplashScreen::timerEvent(QTimerEvent* event) {
    if (m_qtTimerId != 0 && event->timerId() == m_qtTimerId) {
        killTimer(m_qtTimerId);
        m_qtTimerId = 0;
        Close(false);
        return;
    }
    QWidget::timerEvent(event);
}

void CSplashScreen::mouseReleaseEvent(QMouseEvent* event) {
    if (m_clickToDismiss && event->button() == Qt::LeftButton) {
        Close(false);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CSplashScreen::closeEvent(QCloseEvent* event) {
    if (m_modalLoop != nullptr) {
        // Closing the about window ends its loop; the loop then closes it.
        m_modalLoop->exit(2);
        event->ignore();
        return;
    }
    event->accept();
    deleteLater();
}

// ----------------------------------------------------------------------------------------------
// CPlyfoldSplash

CPlyfoldSplash::CPlyfoldSplash(QWidget* owner) : CSplashScreen(owner) {
    currentSplash = this;
}

CPlyfoldSplash::~CPlyfoldSplash() {
    if (currentSplash == this) {
        currentSplash = nullptr;
    }
}

CPlyfoldSplash* CPlyfoldSplash::Current() {
    return currentSplash;
}

bool CPlyfoldSplash::Create(std::vector<SplashTextItem> items, bool topmost) {
    if (!CreateSplash(std::move(items), topmost)) {
        return false;
    }
    m_link = new QLabel(this);
    m_link->setObjectName(QString::number(kLinkId));
    m_link->setTextFormat(Qt::RichText);
    m_link->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(QString::fromLatin1(links::kMakerHomeUrl).toHtmlEscaped(),
                             QString::fromLatin1(links::kMakerHost).toHtmlEscaped()));
    m_link->setToolTip(QString::fromLatin1(links::kMakerHomeUrl));
    m_link->setOpenExternalLinks(true);
    m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->adjustSize();
    m_link->move(picture().width() - m_link->width() - 6, 6);
    m_link->show();
    return true;
}

void CPlyfoldSplash::PaintFrame(QPainter& painter) const {
    // A raised edge around the whole window; the picture sits inside it.
    QPalette pal = palette();
    pal.setColor(QPalette::Light, QColor(0xE3, 0xE3, 0xE3));
    pal.setColor(QPalette::Midlight, Qt::white);
    pal.setColor(QPalette::Dark, QColor(0xA0, 0xA0, 0xA0));
    pal.setColor(QPalette::Shadow, QColor(0x69, 0x69, 0x69));
    qDrawWinPanel(&painter, rect(), pal, false);
}

// ----------------------------------------------------------------------------------------------
// The application's operations

void ShowSplash(bool aboutMode, QWidget* mainWindow) {
    if (CPlyfoldSplash* old = CPlyfoldSplash::Current()) {
        old->Close(true);
        if (CPlyfoldSplash::Current() != nullptr) {
            return; // a modal about window is still up; it is the one shown
        }
    }
    // The about window belongs to the main window; the start-up splash to no window.
    auto* splash = new CPlyfoldSplash(aboutMode ? mainWindow : nullptr);
    const SplashFields fields = ReadSplashFields();
    std::vector<SplashTextItem> items = BuildSplashTextItems(aboutMode, fields);
    if (!splash->Create(std::move(items), !aboutMode)) {
        delete splash;
        return;
    }
    if (aboutMode) {
        splash->SetClickToDismiss(true);
        splash->RunModalLoop(mainWindow);
    }
}

void ShowAbout(QWidget* mainWindow) {
    ShowSplash(true, mainWindow);
}

void ArmSplashCloseTimer() {
    if (CPlyfoldSplash* splash = CPlyfoldSplash::Current()) {
        splash->ArmCloseTimer();
    }
}

void CloseSplash(bool synchronous) {
    if (CPlyfoldSplash* splash = CPlyfoldSplash::Current()) {
        splash->Close(synchronous);
    }
}

} // namespace plyfold
