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
    : QObject(view), view_(view), bar_(new QScrollBar(Qt::Vertical, view)) {
    bar_->hide();
    // Screen readers find the bar by name (it has no caption or tooltip of its own).
    bar_->setAccessibleName(QStringLiteral("Vertical scroll bar"));
    connect(bar_, &QScrollBar::actionTriggered, this, &AreaScrollBar::OnAction);
    connect(bar_, &QScrollBar::valueChanged, this, &AreaScrollBar::OnValueChanged);
}

void AreaScrollBar::Place(bool show, const QRect& geometry) {
    if (show) {
        bar_->setGeometry(geometry);
        bar_->show();
    } else {
        bar_->hide();
    }
}

void AreaScrollBar::Sync(int pos, int page, int contentHeight, int lineStep) {
    syncing_ = true;
    bar_->setRange(0, std::max(0, contentHeight - page));
    bar_->setPageStep(std::max(1, page));
    bar_->setSingleStep(std::max(1, lineStep));
    bar_->setValue(pos);
    syncing_ = false;
}

void AreaScrollBar::OnAction(int action) {
    if (syncing_) {
        return;
    }
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        view_->OnVScroll(ScrollStep::LineUp);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        view_->OnVScroll(ScrollStep::LineDown);
        break;
    case QAbstractSlider::SliderPageStepSub:
        view_->OnVScroll(ScrollStep::PageUp);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        view_->OnVScroll(ScrollStep::PageDown);
        break;
    case QAbstractSlider::SliderToMinimum:
        view_->OnVScroll(ScrollStep::Top);
        break;
    case QAbstractSlider::SliderMove:
        // The view follows the thumb live, and the thumb goes where the user drags it.
        view_->OnVScroll(ScrollToPos{bar_->sliderPosition()});
        return;
    default:
        break;
    }
    // The bar then takes the position the view chose.
    syncing_ = true;
    bar_->setSliderPosition(view_->scrollPos());
    syncing_ = false;
}

void AreaScrollBar::OnValueChanged(int value) {
    if (syncing_ || value == view_->scrollPos()) {
        return;
    }
    view_->OnVScroll(ScrollToPos{value});
}

// ---- The view's scrolling ---------------------------------------------------------------------

void CBaseAreaView::OnVScroll(const ScrollRequest& request) {
    const int client = ClientRect().height();
    if (contentHeight_ < client) {
        return;
    }
    const int p = ScrollTarget(request, scrollPos_, lineStep_, client, contentHeight_);
    if (p != scrollPos_) {
        ScrollBy(p - scrollPos_);
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
        canvas_->scroll(0, -delta);
    }
    scrollPos_ += delta;
    SyncBar();
    PlaceAllControls();
    RefreshHover();
}

void CBaseAreaView::SyncBar() {
    scrollBar_->Sync(scrollPos_, InsetArea(ClientRect()).height(), contentHeight_, lineStep_);
}

} // namespace plyfold
