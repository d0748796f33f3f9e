#include "display/CBaseAreaView.h"

#include "display/AreaAccessibility.h"

#include <QCoreApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace plyfold {

// The content window: paints through the view and hands every mouse, menu, tooltip and drop event
// to the view, which sees the same coordinates (the canvas sits at the view's origin).
class CBaseAreaView::Canvas : public QWidget {
public:
    explicit Canvas(CBaseAreaView* view) : QWidget(view), view_(view) {
        setMouseTracking(true);
        setAcceptDrops(true);
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    }

protected:
    void paintEvent(QPaintEvent* event) override { view_->PaintContent(event); }
    bool event(QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::ContextMenu:
        case QEvent::ToolTip:
        case QEvent::Leave:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop:
            return QCoreApplication::sendEvent(view_, event);
        default:
            return QWidget::event(event);
        }
    }

private:
    CBaseAreaView* view_;
};

CBaseAreaView::CBaseAreaView(QWidget* parent) : QWidget(parent) {
    InstallAreaAccessibility();
    background_ = palette().color(QPalette::Base);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    controls_ = new AreaControls(this);
    canvas_ = new Canvas(this);
    canvas_->setGeometry(rect());
    scrollBar_ = new AreaScrollBar(this); // its bar lies above the content window
    drag_ = new AreaDrag(this);
}

CBaseAreaView::~CBaseAreaView() {
    drag_->StopAutoScroll();
    // The boxes release their controls through the registry while it still exists.
    while (!boxes_.empty()) {
        DestroyBoxAt(boxes_.size() - 1);
    }
}

void CBaseAreaView::SetBackgroundColour(const QColor& colour) {
    background_ = colour;
    InvalidateAll();
}

// ---- Boxes ------------------------------------------------------------------------------------

BaseDisplayBox* CBaseAreaView::FindBox(const CDoc* doc) const {
    for (const auto& box : boxes_) {
        if (box->doc == doc) {
            return box.get();
        }
    }
    return nullptr;
}

bool CBaseAreaView::HoldsBox(const BaseDisplayBox* box) const {
    return std::any_of(boxes_.begin(), boxes_.end(),
                       [box](const auto& b) { return b.get() == box; });
}

void CBaseAreaView::AppendBox(std::unique_ptr<BaseDisplayBox> box) {
    InsertBox(boxes_.size(), std::move(box));
}

void CBaseAreaView::InsertBox(std::size_t index, std::unique_ptr<BaseDisplayBox> box) {
    if (!box) {
        return;
    }
    index = std::min(index, boxes_.size());
    boxes_.insert(boxes_.begin() + static_cast<std::ptrdiff_t>(index), std::move(box));
    Relayout();
}

void CBaseAreaView::DestroyBoxAt(std::size_t index) {
    if (index >= boxes_.size()) {
        return;
    }
    std::unique_ptr<BaseDisplayBox> box = std::move(boxes_[index]);
    boxes_.erase(boxes_.begin() + static_cast<std::ptrdiff_t>(index));
    BaseDisplayBox* raw = box.get();
    box.reset(); // releases the controls the box still has
    controls_->ReleaseAllOf(raw);
}

void CBaseAreaView::RemoveBox(CDoc* doc) {
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        if (boxes_[i]->doc == doc) {
            DestroyBoxAt(i);
            Relayout();
            return;
        }
    }
}

void CBaseAreaView::OnMoveDocument(CDoc* doc, CDoc* afterDoc) {
    (void)doc;
    (void)afterDoc;
}

void CBaseAreaView::InvalidateBox(BaseDisplayBox* box) {
    if (box != nullptr) {
        box->InvalidateVisible(VisibleContentRect());
    }
}

void CBaseAreaView::InvalidateContentRect(const QRect& rect, bool erase) {
    (void)erase;
    canvas_->update(rect.translated(0, -scrollPos_));
}

void CBaseAreaView::InvalidateAll() {
    // The content window is opaque and covers the client area: Qt leaves it out of a repaint
    // asked of the view itself, so every repaint of the content is asked of it.
    canvas_->update();
}

// ---- Layout and scrolling ---------------------------------------------------------------------

QRect CBaseAreaView::ClientRect() const {
    const int barWidth = ScrollBarShown() ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    return QRect(0, 0, std::max(0, width() - barWidth), height());
}

QRect CBaseAreaView::VisibleContentRect() const {
    return InsetArea(ClientRect()).translated(0, scrollPos_);
}

int CBaseAreaView::Layout(const QRect& area) {
    (void)area;
    return 0;
}

void CBaseAreaView::Relayout() {
    if (layoutBatch_ > 0) {
        layoutDue_ = true;
        return;
    }
    UpdateLayout(InsetArea(ClientRect()));
}

void CBaseAreaView::EndLayoutBatch() {
    if (layoutBatch_ > 0 && --layoutBatch_ == 0 && layoutDue_) {
        layoutDue_ = false;
        Relayout();
    }
}

void CBaseAreaView::UpdateLayout(QRect area) {
    lineStep_ = area.height() / 20;
    int h = Layout(area);
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    bool show = scrollBar_->shown();
    if (h > area.height() && !show) {
        area.setWidth(area.width() - barWidth);
        show = true;
        scrollBar_->SetShown(true); // the visible part handed to the boxes is the narrower one
        h = Layout(area);
    } else if (h <= area.height() && show) {
        area.setWidth(area.width() + barWidth);
        show = false;
        scrollBar_->SetShown(false);
        h = Layout(area);
    }
    contentHeight_ = h;
    const int oldPos = scrollPos_;
    scrollBar_->Place(show, QRect(width() - barWidth, 0, barWidth, height()));
    if (show) {
        scrollPos_ = std::max(0, std::min(scrollPos_, contentHeight_ - area.height()));
    } else {
        scrollPos_ = 0;
    }
    canvas_->setGeometry(ClientRect());
    SyncBar();
    // A layout may move, grow or drop any box: what shows is painted again as a whole.
    InvalidateAll();
    if (scrollPos_ != oldPos) {
        PlaceAllControls();
        RefreshHover();
    } else if (VisibleContentRect() != placedVisible_) {
        // The boxes kept their places but the window grew or shrank (for example from nothing
        // when documents were added before the first show): boxes that came into view need
        // their controls, boxes that left give theirs back.
        PlaceAllControls();
    }
}

void CBaseAreaView::PlaceAllControls() {
    const QRect visible = VisibleContentRect();
    placedVisible_ = visible;
    for (const auto& box : boxes_) {
        box->PlaceControls(visible);
    }
}

void CBaseAreaView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

// ---- Painting ---------------------------------------------------------------------------------

void CBaseAreaView::OnDraw(QPainter& g, const QRect& clip) {
    for (const auto& box : boxes_) {
        box->Draw(g, clip);
    }
}

void CBaseAreaView::paintEvent(QPaintEvent* event) {
    // Only the corner the content window does not cover (if any).
    QPainter g(this);
    g.fillRect(event->rect(), background_);
}

void CBaseAreaView::PaintContent(QPaintEvent* event) {
    QPainter g(canvas_);
    const QRect r = event->rect();
    g.fillRect(r, background_);
    g.save();
    g.translate(0, -scrollPos_);
    const QRect clip = r.translated(0, scrollPos_);
    g.setClipRect(clip);
    OnDraw(g, clip);
    g.restore();
    drag_->Paint(g);
}

// ---- Tooltips and the mouse -------------------------------------------------------------------

bool CBaseAreaView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(event);
        const int x = he->pos().x();
        const int y = he->pos().y() + scrollPos_;
        for (const auto& box : boxes_) {
            QRect rect;
            const int id = box->ToolHitTest(x, y, &rect);
            if (id != 0) {
                toolText_ = box->GetToolText(id);
                if (toolText_.isEmpty()) {
                    QToolTip::hideText();
                } else {
                    QToolTip::showText(he->globalPos(), toolText_, this, rect);
                }
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

void CBaseAreaView::MouseMoveAt(const QPoint& clientPos) {
    const int x = clientPos.x();
    const int y = clientPos.y() + scrollPos_;
    if (dragging()) {
        if (!drag_->MoveTo(QPoint(x, y))) {
            return;
        }
        UpdateDropTarget();
        drag_->RepaintImage();
        if (const auto cursor = DragCursor()) {
            setCursor(*cursor);
        }
        return;
    }
    if (!CanDrag()) {
        return;
    }
    const QRect visible = VisibleContentRect();
    std::optional<QCursor> cursor;
    for (const auto& box : boxes_) {
        if (box->HoverHitTest(x, y)) {
            if (auto c = box->SetHover(true, visible)) {
                cursor = c;
            }
        } else {
            box->SetHover(false, visible);
        }
    }
    if (cursor) {
        setCursor(*cursor);
    } else {
        unsetCursor();
    }
}

void CBaseAreaView::RefreshHover() {
    const QPoint p = mapFromGlobal(GlobalPointerPos());
    if (ClientRect().contains(p)) {
        MouseMoveAt(p);
    }
}

QPoint CBaseAreaView::GlobalPointerPos() const {
    return QCursor::pos();
}

void CBaseAreaView::LeftButtonDownAt(const QPoint& clientPos) {
    if (dragging()) {
        // A drag whose button release never arrived.
        drag_->Abandon();
        InvalidateAll();
    }
    const int x = clientPos.x();
    const int y = clientPos.y() + scrollPos_;
    if (CanDrag() && BeginDragHitTest(x, y)) {
        drag_->SetPoint(QPoint(x, y));
        StartDrag();
    }
}

void CBaseAreaView::LeftButtonUpAt(const QPoint& clientPos) {
    (void)clientPos;
    EndDrag(false);
}

void CBaseAreaView::mouseMoveEvent(QMouseEvent* event) {
    MouseMoveAt(event->position().toPoint());
}

void CBaseAreaView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        LeftButtonDownAt(event->position().toPoint());
    }
    QWidget::mousePressEvent(event);
}

void CBaseAreaView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        LeftButtonUpAt(event->position().toPoint());
    }
}

void CBaseAreaView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    // Over a child control the pointer is still in the view; only leaving the view drops the hover.
    if (!dragging() && !rect().contains(mapFromGlobal(GlobalPointerPos()))) {
        const QRect visible = VisibleContentRect();
        for (const auto& box : boxes_) {
            box->SetHover(false, visible);
        }
    }
}

} // namespace plyfold
