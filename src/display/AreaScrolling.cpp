#include "display/AreaScrolling.h"

#include "display/CBaseAreaView.h"

#include <QScrollBar>

#include <algorithm>

namespace plyfold {

int ScrollTarget(const ScrollRequest& request, int pos, int lineStep, int client,
                 int contentHeight) {
    int p = pos;
    if (const auto* jump = std::get_if<ScrollToPos>(&request)) {
        p = jump->pos;
    } else {
        switch (std::get<ScrollStep>(request)) {
        case ScrollStep::LineUp:
            p -= lineStep;
            break;
        case ScrollStep::LineDown:
            p += lineStep;
            break;
        case ScrollStep::PageUp:
            p -= client - 20;
            break;
        case ScrollStep::PageDown:
            p += client - 20;
            break;
        case ScrollStep::Top:
            p = 0;
            break;
        case ScrollStep::Bottom:
            break;
        }
    }
    return std::clamp(p, 0, contentHeight - client);
}

// ---- AreaScrollBar ----------------------------------------------------------------------------

AreaScrollBar::AreaScrollBar(CBaseAreaView* view)
    : QObject(view), m_view(view), m_bar(new QScrollBar(Qt::Vertical, view)) {
    m_bar->hide();
    // Screen readers find the bar by name (it has no caption or tooltip of its own).
    m_bar->setAccessibleName(QStringLiteral("Vertical scroll bar"));
    connect(m_bar, &QScrollBar::actionTriggered, this, &AreaScrollBar::OnAction);
    connect(m_bar, &QScrollBar::valueChanged, this, &AreaScrollBar::OnValueChanged);
}

void AreaScrollBar::Place(bool show, const QRect& geometry) {
    if (show) {
        m_bar->setGeometry(geometry);
        m_bar->show();
    } else {
        m_bar->hide();
    }
}

void AreaScrollBar::Sync(int pos, int page, int contentHeight, int lineStep) {
    m_syncing = true;
    m_bar->setRange(0, std::max(0, contentHeight - page));
    m_bar->setPageStep(std::max(1, page));
    m_bar->setSingleStep(std::max(1, lineStep));
    m_bar->setValue(pos);
    m_syncing = false;
}

void AreaScrollBar::OnAction(int action) {
    if (m_syncing) {
        return;
    }
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        m_view->OnVScroll(ScrollStep::LineUp);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        m_view->OnVScroll(ScrollStep::LineDown);
        break;
    case QAbstractSlider::SliderPageStepSub:
        m_view->OnVScroll(ScrollStep::PageUp);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        m_view->OnVScroll(ScrollStep::PageDown);
        break;
    case QAbstractSlider::SliderToMinimum:
        m_view->OnVScroll(ScrollStep::Top);
        break;
    case QAbstractSlider::SliderMove:
        // The view follows the thumb live, and the thumb goes where the user drags it.
        m_view->OnVScroll(ScrollToPos{m_bar->sliderPosition()});
        return;
    default:
        break;
    }
    // The bar then takes the position the view chose.
    m_syncing = true;
    m_bar->setSliderPosition(m_view->scrollPos());
    m_syncing = false;
}

void AreaScrollBar::OnValueChanged(int value) {
    if (m_syncing || value == m_view->scrollPos()) {
        return;
    }
    m_view->OnVScroll(ScrollToPos{value});
}

// ---- The view's scrolling ---------------------------------------------------------------------

void CBaseAreaView::OnVScroll(const ScrollRequest& request) {
    const int client = ClientRect().height();
    if (m_contentHeight < client) {
        return;
    }
    const int p = ScrollTarget(request, m_scrollPos, m_lineStep, client, m_contentHeight);
    if (p != m_scrollPos) {
        ScrollBy(p - m_scrollPos);
    }
}

void CBaseAreaView::ScrollBy(int delta) {
    if (delta == 0) {
        return;
    }
    if (dragging()) {
        // The drag image is painted over the content: repaint rather than move its pixels.
        InvalidateAll();
    } else {
        // Pixels and child controls move together; PlaceControls then only creates and
        // releases the controls of boxes that enter or leave.
        m_canvas->scroll(0, -delta);
    }
    m_scrollPos += delta;
    SyncBar();
    PlaceAllControls();
    RefreshHover();
}

void CBaseAreaView::SyncBar() {
    m_scrollBar->Sync(m_scrollPos, InsetArea(ClientRect()).height(), m_contentHeight, m_lineStep);
}

} // namespace plyfold
