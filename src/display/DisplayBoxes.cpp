#include "display/DisplayBoxes.h"

#include <QFileInfo>

#include "display/CBaseAreaView.h"
#include "engine/CDoc.h"
#include "engine/PDFInstance.h"
#include "engine/ProcessGlobals.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPaintDevice>
#include <QPainter>
#include <QToolButton>

#include <atomic>
#include <cmath>
#include <map>
#include <utility>

namespace plyfold {

namespace {

std::atomic<int> waitingRequests{0};

QFont MakeFont(int pixels, bool bold) {
    // A handful of sizes are used over and over while painting: keep them.
    // Never destroyed: fonts must not outlive the application object at exit.
    static auto* made = new std::map<std::pair<int, bool>, QFont>;
    const auto key = std::make_pair(pixels, bold);
    if (const auto it = made->find(key); it != made->end()) {
        return it->second;
    }
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, pixels));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    made->emplace(key, font);
    return font;
}

} // namespace

int PointsToPixels(int points, int dpi) {
    // MulDiv rounds the exact quotient to the nearest integer (halves away from zero).
    const long long num = static_cast<long long>(points) * dpi;
    return static_cast<int>((num + 36) / 72);
}

QFont BoxFont(int points, bool bold, const QPaintDevice* device) {
    const int dpi = device != nullptr ? device->logicalDpiX() : 96;
    return MakeFont(PointsToPixels(points, dpi), bold);
}

QFont BoxFontVertical(int points, bool bold, const QPaintDevice* device) {
    const int dpi = device != nullptr ? device->logicalDpiY() : 96;
    return MakeFont(PointsToPixels(points, dpi), bold);
}

QIcon BoxButtonIcon(int imageIndex) {
    static constexpr int kPictureIds[] = {ids::IDP_REMOVE, ids::IDP_EXPAND, ids::IDP_COLLAPSE};
    if (imageIndex < 0 || imageIndex >= static_cast<int>(buttonImages.size()) ||
        imageIndex >= static_cast<int>(std::size(kPictureIds))) {
        return QIcon();
    }
    const QImage& base = buttonImages[static_cast<std::size_t>(imageIndex)];
    if (base.isNull()) {
        return QIcon();
    }
    // Made once per picture (a button is made each time one scrolls into view). Never destroyed:
    // pixmaps must not outlive the application object at exit.
    static auto* made = new std::map<std::pair<int, qint64>, QIcon>;
    const auto key = std::make_pair(imageIndex, base.cacheKey());
    if (const auto it = made->find(key); it != made->end()) {
        return it->second;
    }
    const QIcon icon = LoadResScalableIcon(ResKind::Png, kPictureIds[imageIndex], base);
    made->emplace(key, icon);
    return icon;
}

int WaitingImageRequests() {
    return waitingRequests.load();
}

void ResetWaitingImageRequests() {
    waitingRequests.store(0);
}

QString FileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

// ---- BaseDisplayBox ---------------------------------------------------------------------------

BaseDisplayBox::BaseDisplayBox(CBaseAreaView* view, CDoc* doc) : doc(doc), view(view) {}

BaseDisplayBox::~BaseDisplayBox() = default;

bool BaseDisplayBox::CreateButton(QToolButton*& button, const QRect& rect, int imageIndex,
                                  const QColor& face, int tooltipId, bool sizeToContent) {
    if (view == nullptr) {
        return false;
    }
    auto* b = new QToolButton(view->ControlParent());
    view->RegisterControl(this, b);
    button = b;
    b->setAutoRaise(true);
    // Keyboard users reach it with Tab; a click does not take the focus from where it is.
    b->setFocusPolicy(Qt::TabFocus);
    b->setAutoFillBackground(true);
    QPalette pal = b->palette();
    pal.setColor(QPalette::Button, face);
    pal.setColor(QPalette::Window, face);
    b->setPalette(pal);
    if (const QIcon icon = BoxButtonIcon(imageIndex); !icon.isNull()) {
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
    }
    if (tooltipId != 0) {
        CBaseAreaView::SetControlTip(b, LoadResString(tooltipId));
    }
    if (sizeToContent) {
        b->setGeometry(QRect(rect.topLeft(), b->sizeHint()));
    } else {
        b->setGeometry(rect);
    }
    b->show();
    return true;
}

bool BaseDisplayBox::CreateEdit(QLineEdit*& edit, const QRect& rect, const QString& text,
                                int maxChars) {
    if (view == nullptr) {
        return false;
    }
    auto* e = new QLineEdit(view->ControlParent());
    e->setMaxLength(maxChars);
    // The dialog font: 8 points.
    e->setFont(BoxFont(8, false, view));
    e->setTextMargins(0, 0, 0, 0);
    e->setText(text);
    e->setCursorPosition(0);
    e->setGeometry(rect);
    view->RegisterControl(this, e);
    edit = e;
    e->show();
    return true;
}

bool BaseDisplayBox::CreateCheck(QCheckBox*& check, const QRect& rect, bool checked) {
    if (view == nullptr) {
        return false;
    }
    auto* c = new QCheckBox(view->ControlParent());
    c->setChecked(checked);
    c->setGeometry(rect);
    c->setAutoFillBackground(true);
    view->RegisterControl(this, c);
    check = c;
    const QString tip = GetControlToolText(c);
    if (!tip.isEmpty()) {
        c->setAccessibleDescription(tip);
    }
    view->UpdateControlColours(c);
    c->show();
    return true;
}

void BaseDisplayBox::ReleaseControl(QWidget* control) {
    if (control == nullptr) {
        return;
    }
    if (view != nullptr) {
        view->ReleaseControl(control);
    } else {
        delete control;
    }
}

// ---- PageDisplayBox ---------------------------------------------------------------------------

PageDisplayBox::PageDisplayBox(BaseDisplayBox* owner, int page) : page(page), owner(owner) {}

PageDisplayBox::~PageDisplayBox() = default;

QImage PageDisplayBox::GetPageImage(bool wait, qreal ratio) {
    if (owner == nullptr || owner->doc == nullptr || owner->doc->instance() == nullptr) {
        return {};
    }
    if (wait) {
        waitingRequests.fetch_add(1);
    }
    return owner->doc->instance()->GetPage(page, wait, ratio);
}

// ---- Fitting and drawing ----------------------------------------------------------------------

double PageAspect(const CDoc* doc, int page) {
    if (doc == nullptr || doc->instance() == nullptr) {
        return 0.0;
    }
    return doc->instance()->GetPageAspect(page);
}

QSize FitImage(double aspect) {
    const int s = thumbnailSize;
    if (!(aspect > 0.0) || !std::isfinite(aspect)) {
        return {s, s};
    }
    if (aspect > 1.0) {
        return {s, static_cast<int>(s / aspect)};
    }
    return {static_cast<int>(aspect * s), s};
}

QSize FitImage(const CDoc* doc, int page) {
    return FitImage(PageAspect(doc, page));
}

QRect ImageRect(const QPoint& origin, const QSize& fitted) {
    const int s = thumbnailSize;
    int x0 = origin.x();
    int y0 = origin.y();
    if (fitted.width() < s) {
        x0 += (s - fitted.width()) / 2;
    }
    if (fitted.height() < s) {
        y0 += (s - fitted.height()) / 2;
    }
    return QRect(x0, y0, fitted.width(), fitted.height());
}

void DrawPageImage(PageDisplayBox& box, const QRect& rect, QPainter& g) {
    const qreal ratio = g.device() != nullptr ? g.device()->devicePixelRatioF() : 1.0;
    const int ratioKey = DeviceRatioKey(ratio);
    if (box.image.isNull() || DeviceRatioKey(box.image.devicePixelRatio()) != ratioKey) {
        QImage sharp = box.GetPageImage(false, ratio);
        if (!sharp.isNull()) {
            box.image = std::move(sharp);
        }
    }
    if (!box.image.isNull()) {
        const QSize pixels(qRound(rect.width() * ratio), qRound(rect.height() * ratio));
        if (box.scaled.size() != pixels || box.scaled.devicePixelRatio() != ratio ||
            box.scaledKey != box.image.cacheKey()) {
            QImage scaled =
                box.image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            scaled.setDevicePixelRatio(ratio);
            box.scaled = QPixmap::fromImage(scaled);
            box.scaledKey = box.image.cacheKey();
        }
        g.drawPixmap(rect, box.scaled);
        return;
    }
    g.save();
    g.setFont(BoxFont(9, false, g.device()));
    g.setPen(QColor::fromRgba(boxcolours::kText));
    g.drawText(rect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, loadingText);
    g.restore();
}

void DrawImageFrame(QPainter& g, const QRect& imageRect) {
    g.save();
    g.setRenderHint(QPainter::Antialiasing, false);
    g.setPen(QPen(QColor::fromRgba(boxcolours::kFrame), 1));
    g.setBrush(Qt::NoBrush);
    // drawRect with a 1-pixel pen covers x .. x + width; the ring sits on the pixels just outside
    // the image on every side.
    g.drawRect(
        QRect(imageRect.x() - 1, imageRect.y() - 1, imageRect.width() + 1, imageRect.height() + 1));
    g.restore();
}

} // namespace plyfold
