#include "res/Resources.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

// Q_INIT_RESOURCE declares the generated registration function, which lives in the global
// namespace; it has to be used outside of any namespace.
static void RegisterArtwork() {
    Q_INIT_RESOURCE(plyfold_art);
}

namespace plyfold {

namespace {

QString KindFolder(ResKind kind) {
    switch (kind) {
    case ResKind::Bitmap:
        return QStringLiteral("bmp");
    case ResKind::Png:
        return QStringLiteral("png");
    case ResKind::Icon:
        return QStringLiteral("icon");
    case ResKind::Cursor:
        return QStringLiteral("cursor");
    }
    return QString();
}

QString IconSizeFolder(int id) {
    return QStringLiteral(":/icons/%1").arg(id);
}

} // namespace

void InitResources() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterArtwork(); });
}

QString ResourcePath(ResKind kind, int id) {
    return QStringLiteral(":/%1/%2").arg(KindFolder(kind)).arg(id);
}

bool HasResource(ResKind kind, int id) {
    InitResources();
    return QFile::exists(ResourcePath(kind, id));
}

QImage LoadResImage(ResKind kind, int id) {
    InitResources();
    const QString path = ResourcePath(kind, id);
    if (!QFile::exists(path)) {
        return QImage();
    }
    return QImage(path);
}

int DeviceRatioKey(qreal ratio) {
    if (!std::isfinite(ratio) || !(ratio > 0.0)) {
        return 100;
    }
    return static_cast<int>(std::lround(std::clamp(ratio, 0.25, 8.0) * 100.0));
}

QImage LoadResImage(ResKind kind, int id, qreal ratio) {
    const int key = DeviceRatioKey(ratio);
    if (key == 100) {
        return LoadResImage(kind, id);
    }
    static std::mutex mutex;
    static auto* made = new std::map<std::tuple<ResKind, int, int>, QImage>; // never destroyed
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = made->find({kind, id, key}); found != made->end()) {
        return found->second;
    }
    const QImage base = LoadResImage(kind, id);
    if (base.isNull()) {
        return QImage();
    }
    const qreal exact = key / 100.0;
    const QSize pixels(std::max(1, qRound(base.width() * exact)),
                       std::max(1, qRound(base.height() * exact)));
    QImage image;
    QSvgRenderer drawing(QStringLiteral(":/svg/%1/%2").arg(KindFolder(kind)).arg(id));
    if (drawing.isValid()) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        drawing.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    } else {
        image = base.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image.setDevicePixelRatio(exact);
    made->emplace(std::make_tuple(kind, id, key), image);
    return image;
}

QIcon LoadResScalableIcon(ResKind kind, int id, const QImage& base) {
    const QImage one = base.isNull() ? LoadResImage(kind, id) : base;
    if (one.isNull()) {
        return QIcon();
    }
    QIcon icon(QPixmap::fromImage(one));
    for (const qreal ratio : {2.0, 3.0}) {
        const QImage sharp = LoadResImage(kind, id, ratio);
        if (!sharp.isNull()) {
            icon.addPixmap(QPixmap::fromImage(sharp));
        }
    }
    return icon;
}

std::vector<int> ResIconSizes(int id) {
    InitResources();
    std::vector<int> sizes;
    const QStringList names = QDir(IconSizeFolder(id)).entryList(QDir::Files);
    for (const QString& name : names) {
        bool ok = false;
        const int edge = name.toInt(&ok);
        if (ok && edge > 0) {
            sizes.push_back(edge);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

QIcon LoadResIcon(int id) {
    QIcon icon;
    for (int edge : ResIconSizes(id)) {
        icon.addFile(QStringLiteral("%1/%2").arg(IconSizeFolder(id)).arg(edge), QSize(edge, edge));
    }
    if (icon.isNull() && HasResource(ResKind::Icon, id)) {
        icon.addFile(ResourcePath(ResKind::Icon, id));
    }
    return icon;
}

QPoint ResCursorHotSpot(int id) {
    // The tip of the arrow drawn in the cursor picture.
    if (id == ids::IDC_DROP_CURSOR) {
        return QPoint(2, 2);
    }
    return QPoint(0, 0);
}

QCursor LoadResCursor(int id) {
    const QImage image = LoadResImage(ResKind::Cursor, id);
    if (image.isNull()) {
        return QCursor(Qt::ArrowCursor);
    }
    const QPoint hot = ResCursorHotSpot(id);
    return QCursor(QPixmap::fromImage(image), hot.x(), hot.y());
}

} // namespace plyfold
