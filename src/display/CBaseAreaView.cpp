#include "display/CBaseAreaView.h"

#include "display/AreaAccessibility.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "res/CommandIds.h"
#include "res/Menus.h"
#include "work/RegisteredMessage.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace plyfold {

namespace {

CBaseAreaView::MenuRunner& menuRunner() {
    static CBaseAreaView::MenuRunner runner;
    return runner;
}

const char kControlIdProperty[] = "plyfoldControlId";

} // namespace

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
    canvas_ = new Canvas(this);
    canvas_->setGeometry(rect());
    bar_ = new QScrollBar(Qt::Vertical, this);
    bar_->hide();
    // Screen readers find the bar by name (it has no caption or tooltip of its own).
    bar_->setAccessibleName(QStringLiteral("Vertical scroll bar"));
    connect(bar_, &QScrollBar::actionTriggered, this, &CBaseAreaView::OnBarAction);
    connect(bar_, &QScrollBar::valueChanged, this, &CBaseAreaView::OnBarValueChanged);
    scrollTimer_ = new QTimer(this);
    scrollTimer_->setInterval(kAutoScrollMs);
    connect(scrollTimer_, &QTimer::timeout, this, &CBaseAreaView::OnAutoScrollTimer);
}

CBaseAreaView::~CBaseAreaView() {
    scrollTimer_->stop();
    // The boxes release their controls through the registry while it still exists.
    while (!boxes_.empty()) {
        DestroyBoxAt(boxes_.size() - 1);
    }
}

void CBaseAreaView::SetBackgroundColour(const QColor& colour) {
    background_ = colour;
    InvalidateAll();
}

// ---- Control registry -------------------------------------------------------------------------

int CBaseAreaView::RegisterControl(BaseDisplayBox* box, QWidget* control) {
    std::size_t index = 0;
    while (index < controls_.size() &&
           (controls_[index].owner != nullptr || controls_[index].control != nullptr)) {
        ++index;
    }
    if (index == controls_.size()) {
        controls_.push_back({});
    }
    controls_[index] = {box, control};
    const int id = kFirstControlId + static_cast<int>(index);
    if (control == nullptr) {
        return id;
    }
    control->setProperty(kControlIdProperty, id);
    control->installEventFilter(this);
    PrepareAreaControl(this, control);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, id] { OnControlEvent(id, ControlEvent::Clicked); });
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textEdited, this,
                [this, id] { OnControlEvent(id, ControlEvent::EditChange); });
    }
    return id;
}

void CBaseAreaView::ReleaseControl(QWidget* control) {
    if (control == nullptr) {
        return;
    }
    const int id = ControlId(control);
    if (id != 0) {
        controls_[static_cast<std::size_t>(id - kFirstControlId)] = {};
    }
    control->removeEventFilter(this);
    if (control == dispatchingControl_) {
        // Never delete a control inside its own signal; it goes once the click has returned.
        control->hide();
        control->deleteLater();
        dispatchingControl_ = nullptr;
    } else {
        delete control;
    }
}

BaseDisplayBox* CBaseAreaView::ControlOwner(int id) const {
    const int index = id - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(controls_.size())) {
        return nullptr;
    }
    return controls_[static_cast<std::size_t>(index)].owner;
}

QWidget* CBaseAreaView::ControlWindow(int id) const {
    const int index = id - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(controls_.size())) {
        return nullptr;
    }
    return controls_[static_cast<std::size_t>(index)].control;
}

int CBaseAreaView::ControlId(const QWidget* control) const {
    if (control == nullptr) {
        return 0;
    }
    bool ok = false;
    const int id = control->property(kControlIdProperty).toInt(&ok);
    if (!ok || ControlWindow(id) != control) {
        return 0;
    }
    return id;
}

int CBaseAreaView::LiveControlCount() const {
    return static_cast<int>(std::count_if(controls_.begin(), controls_.end(),
                                          [](const ControlEntry& e) { return e.control; }));
}

void CBaseAreaView::UpdateControlColours(QWidget* control) {
    const int id = ControlId(control);
    if (id == 0) {
        return;
    }
    BaseDisplayBox* owner = ControlOwner(id);
    if (owner == nullptr) {
        return;
    }
    QPalette pal = control->palette();
    if (const auto brush = ControlBrush(control, owner)) {
        pal.setColor(QPalette::Window, *brush);
        pal.setColor(QPalette::Button, *brush);
        control->setAutoFillBackground(true);
    }
    const auto text = ControlTextColour(control, owner);
    const QColor textColour = text ? *text : QApplication::palette(control).color(QPalette::Text);
    pal.setColor(QPalette::Text, textColour);
    control->setPalette(pal);
}

void CBaseAreaView::SetControlTip(QWidget* control, const QString& text) {
    if (control == nullptr) {
        return;
    }
    control->setToolTip(text);
    control->setAccessibleName(text);
}

void CBaseAreaView::OnControlEvent(int id, ControlEvent what) {
    BaseDisplayBox* owner = ControlOwner(id);
    if (owner == nullptr) {
        return;
    }
    QWidget* previous = dispatchingControl_;
    dispatchingControl_ = ControlWindow(id);
    switch (what) {
    case ControlEvent::Clicked:
        owner->OnControlClicked(id);
        break;
    case ControlEvent::EditKillFocus:
        owner->OnEditFocusLost(id);
        break;
    case ControlEvent::EditChange:
        owner->OnEditChanged(id);
        break;
    }
    dispatchingControl_ = previous;
}

void CBaseAreaView::ShowControlToolTip(QWidget* control, const QPoint& globalPos) {
    const int id = ControlId(control);
    BaseDisplayBox* owner = ControlOwner(id);
    const QString text = owner != nullptr ? owner->GetControlToolText(control) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    toolText_ = text;
    QToolTip::showText(globalPos, toolText_, control);
}

bool CBaseAreaView::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (control != nullptr && ControlId(control) != 0) {
        if (event->type() == QEvent::FocusOut && qobject_cast<QLineEdit*>(control) != nullptr) {
            auto* fe = static_cast<QFocusEvent*>(event);
            if (fe->reason() != Qt::PopupFocusReason) {
                OnControlEvent(ControlId(control), ControlEvent::EditKillFocus);
            }
        } else if (event->type() == QEvent::ToolTip && control->toolTip().isEmpty()) {
            ShowControlToolTip(control, static_cast<QHelpEvent*>(event)->globalPos());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

std::optional<QColor> CBaseAreaView::ControlBrush(QWidget* control, BaseDisplayBox* box) {
    (void)control;
    (void)box;
    return std::nullopt;
}

std::optional<QColor> CBaseAreaView::ControlTextColour(QWidget* control, BaseDisplayBox* box) {
    (void)control;
    (void)box;
    return std::nullopt;
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
    for (auto& entry : controls_) {
        if (entry.owner == raw) {
            if (entry.control != nullptr) {
                QWidget* control = entry.control;
                entry = {};
                ReleaseControl(control);
            }
            entry = {};
        }
    }
    while (!controls_.empty() && controls_.back().owner == nullptr &&
           controls_.back().control == nullptr) {
        controls_.pop_back();
    }
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
    const int barWidth = barShown_ ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
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
    bool show = barShown_;
    if (h > area.height() && !barShown_) {
        area.setWidth(area.width() - barWidth);
        show = true;
        barShown_ = true; // the visible part handed to the boxes is the narrower one
        h = Layout(area);
    } else if (h <= area.height() && barShown_) {
        area.setWidth(area.width() + barWidth);
        show = false;
        barShown_ = false;
        h = Layout(area);
    }
    contentHeight_ = h;
    barShown_ = show;
    const int oldPos = scrollPos_;
    if (show) {
        bar_->setGeometry(width() - barWidth, 0, barWidth, height());
        bar_->show();
        scrollPos_ = std::max(0, std::min(scrollPos_, contentHeight_ - area.height()));
    } else {
        bar_->hide();
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

void CBaseAreaView::SyncBar() {
    syncingBar_ = true;
    const int page = InsetArea(ClientRect()).height();
    bar_->setRange(0, std::max(0, contentHeight_ - page));
    bar_->setPageStep(std::max(1, page));
    bar_->setSingleStep(std::max(1, lineStep_));
    bar_->setValue(scrollPos_);
    syncingBar_ = false;
}

void CBaseAreaView::PlaceAllControls() {
    const QRect visible = VisibleContentRect();
    placedVisible_ = visible;
    for (const auto& box : boxes_) {
        box->PlaceControls(visible);
    }
}

void CBaseAreaView::OnVScroll(ScrollCode code, int trackPos) {
    const int client = ClientRect().height();
    if (contentHeight_ < client) {
        return;
    }
    int p = scrollPos_;
    switch (code) {
    case ScrollCode::LineUp:
        p -= lineStep_;
        break;
    case ScrollCode::LineDown:
        p += lineStep_;
        break;
    case ScrollCode::PageUp:
        p -= client - 20;
        break;
    case ScrollCode::PageDown:
        p += client - 20;
        break;
    case ScrollCode::ThumbPosition:
    case ScrollCode::ThumbTrack:
        p = trackPos;
        break;
    case ScrollCode::Top:
        p = 0;
        break;
    default:
        break;
    }
    p = std::clamp(p, 0, contentHeight_ - client);
    if (p != scrollPos_) {
        ScrollBy(p - scrollPos_);
    }
}

void CBaseAreaView::OnBarAction(int action) {
    if (syncingBar_) {
        return;
    }
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        OnVScroll(ScrollCode::LineUp);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        OnVScroll(ScrollCode::LineDown);
        break;
    case QAbstractSlider::SliderPageStepSub:
        OnVScroll(ScrollCode::PageUp);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        OnVScroll(ScrollCode::PageDown);
        break;
    case QAbstractSlider::SliderToMinimum:
        OnVScroll(ScrollCode::Top);
        break;
    case QAbstractSlider::SliderMove:
        OnVScroll(ScrollCode::ThumbTrack, bar_->sliderPosition());
        return; // the thumb goes where the user drags it
    default:
        break;
    }
    // The bar then takes the position the view chose.
    syncingBar_ = true;
    bar_->setSliderPosition(scrollPos_);
    syncingBar_ = false;
}

void CBaseAreaView::OnBarValueChanged(int value) {
    if (syncingBar_ || value == scrollPos_) {
        return;
    }
    OnVScroll(ScrollCode::ThumbPosition, value);
}

void CBaseAreaView::ScrollBy(int delta) {
    if (delta == 0) {
        return;
    }
    if (dragging_) {
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
    if (dragging_ && !dragImage_.isNull()) {
        const QRect at = DragImageClientRect();
        g.setOpacity(0.6);
        g.drawImage(at.topLeft(), dragImage_);
        dragImageShownAt_ = at;
    }
}

QRect CBaseAreaView::DragImageClientRect() const {
    return QRect(
        QPoint(dragPoint_.x() + dragHotspot_.x(), dragPoint_.y() - scrollPos_ + dragHotspot_.y()),
        dragImage_.size());
}

void CBaseAreaView::UpdateDragImageArea() {
    if (!dragImageShownAt_.isNull()) {
        canvas_->update(dragImageShownAt_);
    }
    if (dragging_ && !dragImage_.isNull()) {
        canvas_->update(DragImageClientRect());
    }
}

// ---- Tooltips, menus, mouse -------------------------------------------------------------------

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

void CBaseAreaView::SetMenuRunner(MenuRunner runner) {
    menuRunner() = std::move(runner);
}

std::unique_ptr<QMenu> CBaseAreaView::BuildMenu(int menuId, QWidget* parent) {
    const auto items = MenuDefinition(menuId);
    if (items.empty()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(parent);
    for (const auto& item : items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(item.text);
        action->setData(item.commandId);
    }
    return menu;
}

QAction* CBaseAreaView::FindMenuAction(QMenu& menu, int commandId) {
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator() && action->data().toInt() == commandId) {
            return action;
        }
    }
    return nullptr;
}

void CBaseAreaView::ShowContextMenu(const QPoint& clientPos, const QPoint& globalPos) {
    const int x = clientPos.x();
    const int y = clientPos.y() + scrollPos_;
    for (const auto& boxPtr : boxes_) {
        BaseDisplayBox* box = boxPtr.get();
        PageDisplayBox* item = nullptr;
        const int menuId = box->MenuHitTest(x, y, &item);
        if (menuId == 0) {
            continue;
        }
        auto menu = BuildMenu(menuId, this);
        if (!menu) {
            return;
        }
        // Taking the focus ends an edit in progress (an invalid range text is restored).
        setFocus(Qt::OtherFocusReason);
        box->PrepareMenu(*menu, item);
        QAction* chosen = menuRunner() ? menuRunner()(*menu, globalPos) : menu->exec(globalPos);
        // The menu's own event loop may have removed the box meanwhile.
        if (chosen != nullptr && HoldsBox(box)) {
            const int command = chosen->data().toInt();
            if (command != 0) {
                box->OnMenuCommand(command, item);
            }
        }
        return;
    }
}

void CBaseAreaView::contextMenuEvent(QContextMenuEvent* event) {
    ShowContextMenu(event->pos(), event->globalPos());
}

void CBaseAreaView::MouseMoveAt(const QPoint& clientPos) {
    const int x = clientPos.x();
    const int y = clientPos.y() + scrollPos_;
    if (dragging_) {
        if (QPoint(x, y) == dragPoint_) {
            return;
        }
        dragPoint_ = QPoint(x, y);
        UpdateDropTarget();
        UpdateDragImageArea();
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
    if (dragging_) {
        // A drag whose button release never arrived.
        dragging_ = false;
        dragImage_ = QImage();
        InvalidateAll();
    }
    const int x = clientPos.x();
    const int y = clientPos.y() + scrollPos_;
    if (CanDrag() && BeginDragHitTest(x, y)) {
        dragPoint_ = QPoint(x, y);
        StartDrag();
    }
}

void CBaseAreaView::LeftButtonUpAt(const QPoint& clientPos) {
    (void)clientPos;
    EndDrag(false);
}

bool CBaseAreaView::BeginDragHitTest(int x, int y) {
    (void)x;
    (void)y;
    return false;
}

void CBaseAreaView::StartDrag() {
    dragging_ = true;
    dragImageShownAt_ = QRect();
    UpdateDragImageArea();
    if (barShown_) {
        scrollTimer_->start();
    }
}

void CBaseAreaView::EndDrag(bool cancel) {
    (void)cancel;
    scrollTimer_->stop();
    if (dragging_) {
        UpdateDragImageArea();
        dragImage_ = QImage();
        dragImageShownAt_ = QRect();
        dragging_ = false;
        unsetCursor();
    }
}

bool CBaseAreaView::autoScrollRunning() const {
    return scrollTimer_->isActive();
}

void CBaseAreaView::OnAutoScrollTimer() {
    const QPoint pointer = GlobalPointerPos();
    const QRect window(mapToGlobal(QPoint(0, 0)), size());
    if (pointer.y() < window.top()) {
        QMetaObject::invokeMethod(
            this, [this] { OnVScroll(ScrollCode::LineUp); }, Qt::QueuedConnection);
    } else if (pointer.y() >= window.top() + window.height()) {
        QMetaObject::invokeMethod(
            this, [this] { OnVScroll(ScrollCode::LineDown); }, Qt::QueuedConnection);
    }
}

void CBaseAreaView::MakeDragImage(const QImage& image, int w, int h) {
    dragImage_ = QImage();
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
    dragImage_ = scaled;
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
    if (!dragging_ && !rect().contains(mapFromGlobal(GlobalPointerPos()))) {
        const QRect visible = VisibleContentRect();
        for (const auto& box : boxes_) {
            box->SetHover(false, visible);
        }
    }
}

// ---- CMergeAreaView ---------------------------------------------------------------------------

CMergeAreaView::CMergeAreaView(DocumentList* documents, QWidget* parent)
    : CBaseAreaView(parent), documents_(documents) {}

CMergeAreaView::~CMergeAreaView() = default;

void CMergeAreaView::OnMoveDocument(CDoc* doc, CDoc* afterDoc) {
    if (documents_ != nullptr) {
        documents_->MoveDocument(doc, afterDoc);
    }
}

void CMergeAreaView::SortBoxes() {
    std::vector<std::unique_ptr<BaseDisplayBox>> sorted;
    sorted.reserve(boxes_.size());
    if (documents_ != nullptr) {
        for (const auto& doc : documents_->documents()) {
            for (auto& box : boxes_) {
                if (box && box->doc == doc.get()) {
                    sorted.push_back(std::move(box));
                    break;
                }
            }
        }
    }
    // Boxes of documents the list no longer names keep their relative order at the end.
    for (auto& box : boxes_) {
        if (box) {
            sorted.push_back(std::move(box));
        }
    }
    boxes_ = std::move(sorted);
    Relayout();
}

void CMergeAreaView::SendCommand(int commandId) {
    if (commandSink_) {
        commandSink_(commandId);
    }
}

void CMergeAreaView::LeftButtonUpAt(const QPoint& clientPos) {
    if (documents_ != nullptr && documents_->empty()) {
        SendCommand(ids::ID_ADD_FILE);
    }
    CBaseAreaView::LeftButtonUpAt(clientPos);
}

void CMergeAreaView::OnRemoveDocMessage(CDoc* doc) {
    // A second request for the same document (two quick clicks) finds it gone and does nothing.
    if (documents_ != nullptr && documents_->IndexOf(doc) >= 0) {
        documents_->RemoveDocument(doc);
    }
}

bool CMergeAreaView::event(QEvent* event) {
    static const QEvent::Type removeDoc =
        RegisteredMessage(QString::fromLatin1(MessageName::RemoveDoc));
    if (event->type() == removeDoc && removeDoc != QEvent::None) {
        auto* message = static_cast<RegisteredMessageEvent*>(event);
        OnRemoveDocMessage(reinterpret_cast<CDoc*>(message->wParam()));
        return true;
    }
    return CBaseAreaView::event(event);
}

} // namespace plyfold
