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
    explicit Canvas(CBaseAreaView* view) : QWidget(view), m_view(view) {
        setMouseTracking(true);
        setAcceptDrops(true);
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    }

protected:
    void paintEvent(QPaintEvent* event) override { m_view->PaintContent(event); }
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
            return QCoreApplication::sendEvent(m_view, event);
        default:
            return QWidget::event(event);
        }
    }

private:
    CBaseAreaView* m_view;
};

CBaseAreaView::CBaseAreaView(QWidget* parent) : QWidget(parent) {
    InstallAreaAccessibility();
    m_background = palette().color(QPalette::Base);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    m_controls = new AreaControls(this);
    m_canvas = new Canvas(this);
    m_canvas->setGeometry(rect());
    m_scrollBar = new AreaScrollBar(this); // its bar lies above the content window
    m_drag = new AreaDrag(this);
}

CBaseAreaView::~CBaseAreaView() {
    m_drag->StopAutoScroll();
    // The boxes release their controls through the registry while it still exists.
    while (!m_boxes.empty()) {
        DestroyBoxAt(m_boxes.size() - 1);
    }
}

void CBaseAreaView::SetBackgroundColour(const QColor& colour) {
    m_background = colour;
    InvalidateAll();
}

// ---- Boxes ------------------------------------------------------------------------------------

BaseDisplayBox* CBaseAreaView::FindBox(const CDoc* doc) const {
    for (const auto& box : m_boxes) {
        if (box->doc == doc) {
            return box.get();
        }
    }
    return nullptr;
}

bool CBaseAreaView::HoldsBox(const BaseDisplayBox* box) const {
    return std::any_of(m_boxes.begin(), m_boxes.end(),
                       [box](const auto& b) { return b.get() == box; });
}

void CBaseAreaView::AppendBox(std::unique_ptr<BaseDisplayBox> box) {
    InsertBox(m_boxes.size(), std::move(box));
}

void CBaseAreaView::InsertBox(std::size_t index, std::unique_ptr<BaseDisplayBox> box) {
    if (!box) {
        return;
    }
    index = std::min(index, m_boxes.size());
    m_boxes.insert(m_boxes.begin() + static_cast<std::ptrdiff_t>(index), std::move(box));
    Relayout();
}

void CBaseAreaView::DestroyBoxAt(std::size_t index) {
    if (index >= m_boxes.size()) {
        return;
    }
    std::unique_ptr<BaseDisplayBox> box = std::move(m_boxes[index]);
    m_boxes.erase(m_boxes.begin() + static_cast<std::ptrdiff_t>(index));
    BaseDisplayBox* raw = box.get();
    box.reset(); // releases the controls the box still has
    m_controls->ReleaseAllOf(raw);
}

void CBaseAreaView::RemoveBox(CDoc* doc) {
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        if (m_boxes[i]->doc == doc) {
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
    m_canvas->update(rect.translated(0, -m_scrollPos));
}

void CBaseAreaView::InvalidateAll() {
    // The content window is opaque and covers the client area: Qt leaves it out of a repaint
    // asked of the view itself, so every repaint of the content is asked of it.
    m_canvas->update();
}

// ---- Layout and scrolling ---------------------------------------------------------------------

QRect CBaseAreaView::ClientRect() const {
    const int barWidth = ScrollBarShown() ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    return QRect(0, 0, std::max(0, width() - barWidth), height());
}

QRect CBaseAreaView::VisibleContentRect() const {
    return InsetArea(ClientRect()).translated(0, m_scrollPos);
}

int CBaseAreaView::Layout(const QRect& area) {
    (void)area;
    return 0;
}

void CBaseAreaView::Relayout() {
    if (m_layoutBatch > 0) {
        m_layoutDue = true;
        return;
    }
    UpdateLayout(InsetArea(ClientRect()));
}

void CBaseAreaView::EndLayoutBatch() {
    if (m_layoutBatch > 0 && --m_layoutBatch == 0 && m_layoutDue) {
        m_layoutDue = false;
        Relayout();
    }
}

void CBaseAreaView::UpdateLayout(QRect area) {
    m_lineStep = area.height() / 20;
    int h = Layout(area);
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    bool show = m_scrollBar->shown();
    if (h > area.height() && !show) {
        area.setWidth(area.width() - barWidth);
        show = true;
        m_scrollBar->SetShown(true); // the visible part handed to the boxes is the narrower one
        h = Layout(area);
    } else if (h <= area.height() && show) {
        area.setWidth(area.width() + barWidth);
        show = false;
        m_scrollBar->SetShown(false);
        h = Layout(area);
    }
    m_contentHeight = h;
    const int oldPos = m_scrollPos;
    m_scrollBar->Place(show, QRect(width() - barWidth, 0, barWidth, height()));
    if (show) {
        m_scrollPos = std::max(0, std::min(m_scrollPos, m_contentHeight - area.height()));
    } else {
        m_scrollPos = 0;
    }
    m_canvas->setGeometry(ClientRect());
    SyncBar();
    // A layout may move, grow or drop any box: what shows is painted again as a whole.
    InvalidateAll();
    if (m_scrollPos != oldPos) {
        PlaceAllControls();
        RefreshHover();
    } else if (VisibleContentRect() != m_placedVisible) {
        // The boxes kept their places but the window grew or shrank (for example from nothing
        // when documents were added before the first show): boxes that came into view need
        // their controls, boxes that left give theirs back.
        PlaceAllControls();
    }
}

void CBaseAreaView::PlaceAllControls() {
    const QRect visible = VisibleContentRect();
    m_placedVisible = visible;
    for (const auto& box : m_boxes) {
        box->PlaceControls(visible);
    }
}

void CBaseAreaView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

// ---- Painting ---------------------------------------------------------------------------------

void CBaseAreaView::OnDraw(QPainter& g, const QRect& clip) {
    for (const auto& box : m_boxes) {
        box->Draw(g, clip);
    }
}

void CBaseAreaView::paintEvent(QPaintEvent* event) {
    // Only the corner the content window does not cover (if any).
    QPainter g(this);
    g.fillRect(event->rect(), m_background);
}

void CBaseAreaView::PaintContent(QPaintEvent* event) {
    QPainter g(m_canvas);
    const QRect r = event->rect();
    g.fillRect(r, m_background);
    g.save();
    g.translate(0, -m_scrollPos);
    const QRect clip = r.translated(0, m_scrollPos);
    g.setClipRect(clip);
    OnDraw(g, clip);
    g.restore();
    m_drag->Paint(g);
}

// ---- Tooltips and the mouse -------------------------------------------------------------------

bool CBaseAreaView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(event);
        const int x = he->pos().x();
        const int y = he->pos().y() + m_scrollPos;
        for (const auto& box : m_boxes) {
            QRect rect;
            const int id = box->ToolHitTest(x, y, &rect);
            if (id != 0) {
                m_toolText = box->GetToolText(id);
                if (m_toolText.isEmpty()) {
                    QToolTip::hideText();
                } else {
                    QToolTip::showText(he->globalPos(), m_toolText, this, rect);
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
    const int y = clientPos.y() + m_scrollPos;
    if (dragging()) {
        if (!m_drag->MoveTo(QPoint(x, y))) {
            return;
        }
        UpdateDropTarget();
        m_drag->RepaintImage();
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
    for (const auto& box : m_boxes) {
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
        m_drag->Abandon();
        InvalidateAll();
    }
    const int x = clientPos.x();
    const int y = clientPos.y() + m_scrollPos;
    if (CanDrag() && BeginDragHitTest(x, y)) {
        m_drag->SetPoint(QPoint(x, y));
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
        for (const auto& box : m_boxes) {
            box->SetHover(false, visible);
        }
    }
}

} // namespace plyfold
