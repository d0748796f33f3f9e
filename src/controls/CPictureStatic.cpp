#include "controls/CPictureStatic.h"

#include "res/Resources.h"

#include <QFile>
#include <QImage>
#include <QPainter>

namespace plyfold {

CPictureStatic::CPictureStatic(QWidget* parent) : QWidget(parent) {}

bool CPictureStatic::LoadPicture(int resourceId) {
    // The program's pictures live in a static library; make sure they are registered.
    InitResources();
    // A bitmap resource wins over a PNG resource with the same id.
    QString path = QStringLiteral(":/bmp/%1").arg(resourceId);
    if (!QFile::exists(path)) {
        path = QStringLiteral(":/png/%1").arg(resourceId);
        if (!QFile::exists(path)) {
            return false;
        }
    }
    QImage image;
    if (!image.load(path) || image.isNull()) {
        return false;
    }
    QPixmap picture = QPixmap::fromImage(image);
    if (picture.isNull()) {
        return false;
    }
    m_picture = std::move(picture);
    m_path = path;
    m_resourceId = resourceId;
    updateGeometry();
    update();
    return true;
}

QSize CPictureStatic::sizeHint() const {
    return m_picture.isNull() ? QSize(0, 0) : m_picture.size();
}

QSize CPictureStatic::minimumSizeHint() const {
    return sizeHint();
}

void CPictureStatic::paintEvent(QPaintEvent* /*event*/) {
    if (m_picture.isNull()) {
        return;
    }
    QPainter painter(this);
    // At its own size in logical pixels; on a screen of another pixel ratio the resource's drawing
    // rendered at that density, so the picture stays sharp.
    const ResKind kind =
        m_path.startsWith(QStringLiteral(":/bmp/")) ? ResKind::Bitmap : ResKind::Png;
    const QImage sharp = DeviceRatioKey(devicePixelRatioF()) != 100
                             ? LoadResImage(kind, m_resourceId, devicePixelRatioF())
                             : QImage();
    const QRect target(QPoint(0, 0), m_picture.size());
    if (sharp.isNull()) {
        painter.drawPixmap(target, m_picture);
    } else {
        painter.drawImage(target, sharp);
    }
}

} // namespace plyfold
