#include "display/AreaDrag.h"

#include "display/CBaseAreaView.h"

#include <QPainter>
#include <QTimer>

namespace plyfold {

AreaDrag::AreaDrag(CBaseAreaView* view)
    : QObject(view), view_(view), scrollTimer_(new QTimer(this)) {
    scrollTimer_->setInterval(kAutoScrollMs);
    connect(scrollTimer_, &QTimer::timeout, this, &AreaDrag::OnAutoScrollTimer);
}

bool AreaDrag::autoScrollRunning() const {
    return scrollTimer_->isActive();
}

void AreaDrag::SetImage(const QImage& image, int w, int h) {
    image_ = QImage();
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
    image_ = scaled;
}

void AreaDrag::Start(bool autoScroll) {
    active_ = true;
    imageShownAt_ = QRect();
    RepaintImage();
    if (autoScroll) {
        scrollTimer_->start();
    }
}

bool AreaDrag::MoveTo(const QPoint& at) {
    if (at == point_) {
        return false;
    }
    point_ = at;
    return true;
}

void AreaDrag::StopAutoScroll() {
    scrollTimer_->stop();
}

bool AreaDrag::End() {
    scrollTimer_->stop();
    if (!active_) {
        return false;
    }
    RepaintImage();
    image_ = QImage();
    imageShownAt_ = QRect();
    active_ = false;
    return true;
}

void AreaDrag::Abandon() {
    active_ = false;
    image_ = QImage();
}

QRect AreaDrag::ImageClientRect() const {
    return QRect(QPoint(point_.x() + hotspot_.x(), point_.y() - view_->scrollPos() + hotspot_.y()),
                 image_.size());
}

void AreaDrag::RepaintImage() {
    QWidget* canvas = view_->ControlParent();
    if (!imageShownAt_.isNull()) {
        canvas->update(imageShownAt_);
    }
    if (active_ && !image_.isNull()) {
        canvas->update(ImageClientRect());
    }
}

void AreaDrag::Paint(QPainter& g) {
    if (active_ && !image_.isNull()) {
        const QRect at = ImageClientRect();
        g.setOpacity(0.6);
        g.drawImage(at.topLeft(), image_);
        imageShownAt_ = at;
    }
}

void AreaDrag::OnAutoScrollTimer() {
    const QPoint pointer = view_->GlobalPointerPos();
    const QRect window(view_->mapToGlobal(QPoint(0, 0)), view_->size());
    CBaseAreaView* view = view_;
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
    drag_->Start(scrollBar_->shown());
}

void CBaseAreaView::EndDrag(bool cancel) {
    (void)cancel;
    if (drag_->End()) {
        unsetCursor();
    }
}

void CBaseAreaView::MakeDragImage(const QImage& image, int w, int h) {
    drag_->SetImage(image, w, h);
}

} // namespace plyfold
