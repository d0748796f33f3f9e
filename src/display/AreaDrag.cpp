#include "display/AreaDrag.h"

#include "display/CBaseAreaView.h"

#include <QPainter>
#include <QTimer>

namespace plyfold {

AreaDrag::AreaDrag(CBaseAreaView* view)
    : QObject(view), m_view(view), m_scrollTimer(new QTimer(this)) {
    m_scrollTimer->setInterval(kAutoScrollMs);
    connect(m_scrollTimer, &QTimer::timeout, this, &AreaDrag::OnAutoScrollTimer);
}

bool AreaDrag::autoScrollRunning() const {
    return m_scrollTimer->isActive();
}

void AreaDrag::SetImage(const QImage& image, int w, int h) {
    m_image = QImage();
    if (image.isNull() || w <= 0 || h <= 0) {
        return;
    }
    QImage scaled = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32);
    // White shows through, as with a masked image list.
    for (int y = 0; y < scaled.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(scaled.scanLine(y));
        for (int x = 0; x < scaled.width(); ++x) {
            if ((line[x] & 0x00FFFFFF) == 0x00FFFFFF) {
                line[x] = 0;
            }
        }
    }
    m_image = scaled;
}

void AreaDrag::Start(bool autoScroll) {
    m_active = true;
    m_imageShownAt = QRect();
    RepaintImage();
    if (autoScroll) {
        m_scrollTimer->start();
    }
}

bool AreaDrag::MoveTo(const QPoint& at) {
    if (at == m_point) {
        return false;
    }
    m_point = at;
    return true;
}

void AreaDrag::StopAutoScroll() {
    m_scrollTimer->stop();
}

bool AreaDrag::End() {
    m_scrollTimer->stop();
    if (!m_active) {
        return false;
    }
    RepaintImage();
    m_image = QImage();
    m_imageShownAt = QRect();
    m_active = false;
    return true;
}

void AreaDrag::Abandon() {
    m_active = false;
    m_image = QImage();
}

QRect AreaDrag::ImageClientRect() const {
    return QRect(
        QPoint(m_point.x() + m_hotspot.x(), m_point.y() - m_view->scrollPos() + m_hotspot.y()),
        m_image.size());
}

void AreaDrag::RepaintImage() {
    QWidget* canvas = m_view->ControlParent();
    if (!m_imageShownAt.isNull()) {
        canvas->update(m_imageShownAt);
    }
    if (m_active && !m_image.isNull()) {
        canvas->update(ImageClientRect());
    }
}

void AreaDrag::Paint(QPainter& g) {
    if (m_active && !m_image.isNull()) {
        const QRect at = ImageClientRect();
        g.setOpacity(0.6);
        g.drawImage(at.topLeft(), m_image);
        m_imageShownAt = at;
    }
}

void AreaDrag::OnAutoScrollTimer() {
    const QPoint pointer = m_view->GlobalPointerPos();
    const QRect window(m_view->mapToGlobal(QPoint(0, 0)), m_view->size());
    CBaseAreaView* view = m_view;
    if (pointer.y() < window.top()) {
        QMetaObject::invokeMethod(
            view, [view] { view->OnVScroll(ScrollStep::LineUp); }, Qt::QueuedConnection);
    } else if (pointer.y() >= window.top() + window.height()) {
        QMetaObject::invokeMethod(
            view, [view] { view->OnVScroll(ScrollStep::LineDown); }, Qt::QueuedConnection);
    }
}

// ---- The view's side of a drag ----------------------------------------------------------------

bool CBaseAreaView::BeginDragHitTest(int x, int y) {
    (void)x;
    (void)y;
    return false;
}

void CBaseAreaView::StartDrag() {
    m_drag->Start(m_scrollBar->shown());
}

void CBaseAreaView::EndDrag(bool cancel) {
    (void)cancel;
    if (m_drag->End()) {
        unsetCursor();
    }
}

void CBaseAreaView::MakeDragImage(const QImage& image, int w, int h) {
    m_drag->SetImage(image, w, h);
}

} // namespace plyfold
