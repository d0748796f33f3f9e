#include "res/Resources.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <algorithm>
#include <mutex>

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
