#include "display/WorkAreaDoc.h"

#include "display/AreaAccessibility.h"
#include "display/CBaseAreaView.h"
#include "display/CWorkAreaView.h"
#include "engine/CDoc.h"
#include "engine/ProcessGlobals.h"
#include "res/CommandIds.h"
#include "res/Menus.h"
#include "res/Strings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <initializer_list>

namespace plyfold {

namespace {

// The platform's check-box size (the menu check-mark metrics of the classic platform).
QSize CheckSize() {
    QStyle* style = QApplication::style();
    return {style->pixelMetric(QStyle::PM_IndicatorWidth),
            style->pixelMetric(QStyle::PM_IndicatorHeight)};
}

void FillClipped(QPainter& g, const QRect& r, const QRect& clip, QRgb colour) {
    const QRect part = r.intersected(clip);
    if (!part.isEmpty()) {
        g.fillRect(part, QColor::fromRgba(colour));
    }
}

void SetButtonFace(QToolButton* button, const QColor& face) {
    if (button == nullptr) {
        return;
    }
    QPalette pal = button->palette();
    pal.setColor(QPalette::Button, face);
    pal.setColor(QPalette::Window, face);
    button->setPalette(pal);
}

void SetButtonImage(QToolButton* button, int imageIndex) {
    if (button == nullptr) {
        return;
    }
    button->setIcon(BoxButtonIcon(imageIndex));
}

} // namespace

// ---- WorkAreaDisplay --------------------------------------------------------------------------

WorkAreaDisplay::WorkAreaDisplay(WorkAreaDoc* owner, int page) : PageDisplayBox(owner, page) {}

WorkAreaDoc* WorkAreaDisplay::workDoc() const {
    return static_cast<WorkAreaDoc*>(owner);
}

void WorkAreaDisplay::SetPosition(int x, int y, const QRect& visible) {
    if (!rect.isNull() && rect.topLeft() == QPoint(x, y)) {
        return;
    }
    rect = QRect(QPoint(x, y), GetSize());
    PlaceControls(visible);
}

void WorkAreaDisplay::InvalidateVisible(const QRect& visible) {
    if (!rect.isNull() && rect.intersects(visible)) {
        owner->view->InvalidateContentRect(rect, true);
    }
}

int WorkAreaDisplay::MenuHitTest(int x, int y) {
    (void)x;
    (void)y;
    return 0;
}

QRect WorkAreaDisplay::ImageRect() const {
    return plyfold::ImageRect(GetImageOrigin(), FitImage(owner->doc, page));
}

QRect WorkAreaDisplay::ToClient(const QRect& content) const {
    return content.translated(0, -owner->view->scrollPos());
}

// ---- WorkAreaDocDisplay -----------------------------------------------------------------------

WorkAreaDocDisplay::WorkAreaDocDisplay(WorkAreaDoc* owner) : WorkAreaDisplay(owner, 1) {}

WorkAreaDocDisplay::~WorkAreaDocDisplay() {
    owner->Release(rangeEdit);
    owner->Release(includeCheck);
    owner->Release(removeButton);
    owner->Release(expandButton);
}

QSize WorkAreaDocDisplay::GetSize() const {
    const int s = thumbnailSize;
    return {s + (workDoc()->expanded() ? 45 : 39), s + 63};
}

QPoint WorkAreaDocDisplay::GetImageOrigin() const {
    return rect.topLeft() + QPoint(7, 51);
}

QRect WorkAreaDocDisplay::RangeEditRect() const {
    const int l = rect.x();
    const int t = rect.y();
    const int s = thumbnailSize;
    // (L+7, T+24)-(L+S+8, T+44), grown by 1 sideways and shrunk by 1 vertically.
    return EdgeRect(l + 6, t + 25, l + s + 9, t + 43);
}

QRect WorkAreaDocDisplay::IncludeCheckRect() const {
    const int l = rect.x();
    const int t = rect.y();
    const int s = thumbnailSize;
    const QSize c = CheckSize();
    const QRect cell = EdgeRect(l + s + 12, t + 24, l + s + 37, t + 44);
    return QRect(cell.x() + (cell.width() - c.width()) / 2,
                 cell.y() + (cell.height() - c.height()) / 2, c.width(), c.height());
}

QRect WorkAreaDocDisplay::RemoveButtonRect() const {
    const int l = rect.x();
    const int t = rect.y();
    const int s = thumbnailSize;
    return EdgeRect(l + s + 12, t, l + s + 37, t + 24);
}

QRect WorkAreaDocDisplay::TitleToolRect() const {
    return EdgeRect(rect.x() + 6, rect.y() + 6, Right(rect) - 31, rect.y() + 30);
}

QString WorkAreaDocDisplay::PageCountText() const {
    return QStringLiteral("(%1p)").arg(workDoc()->PageCount());
}

bool WorkAreaDocDisplay::RangeTextValid() const {
    if (rangeEdit == nullptr) {
        return true;
    }
    PageRangeList parsed;
    return parsed.IsValidFor(rangeEdit->text(), workDoc()->PageCount());
}

void WorkAreaDocDisplay::UpdateButtonFaces() {
    const QColor face = workDoc()->StateColour();
    SetButtonFace(removeButton, face);
    SetButtonFace(expandButton, face);
}

void WorkAreaDocDisplay::Draw(QPainter& g, const QRect& clip) {
    (void)clip;
    const int s = thumbnailSize;
    const int l = rect.x();
    const int t = rect.y();
    g.save();
    g.setFont(BoxFont(9, true, g.device()));
    g.setPen(QColor::fromRgba(boxcolours::kText));
    const QFontMetrics fm(g.font());
    const QString count = PageCountText();
    int c = fm.horizontalAdvance(count);
    if (c <= 0) {
        c = 26;
    }
    g.drawText(QRect(l + 6 + s - c, t + 6, c, 24),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, count);
    const int nameWidth = std::max(0, s - c);
    const QString name = fm.elidedText(FileNameOf(owner->doc->path()), Qt::ElideRight, nameWidth);
    g.drawText(QRect(l + 6, t + 6, nameWidth, 24),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
    g.restore();

    const QRect image = ImageRect();
    DrawPageImage(*this, image, g);
    DrawImageFrame(g, image);

    // Stacked edges below and right of the frame: light, dark, and once more for 3+ pages.
    const int pages = workDoc()->PageCount();
    const int steps = pages > 2 ? 4 : (pages > 1 ? 2 : 0);
    g.save();
    g.setRenderHint(QPainter::Antialiasing, false);
    for (int k = 1; k <= steps; ++k) {
        g.setPen(
            QPen(QColor::fromRgba(k % 2 == 1 ? boxcolours::kLightEdge : boxcolours::kFrame), 1));
        const int left = image.x() - 1 + k;
        const int top = image.y() - 1 + k;
        const int right = Right(image) + k;
        const int bottom = Bottom(image) + k;
        g.drawLine(left, bottom, right, bottom);
        g.drawLine(right, top, right, bottom);
    }
    g.restore();

    if (workDoc()->expanded()) {
        g.fillRect(EdgeRect(Right(rect) - 5, t + 24, Right(rect) - 1, Bottom(rect)),
                   QColor::fromRgba(workcolours::kSeparator));
    }
}

void WorkAreaDocDisplay::PlaceControls(const QRect& visible) {
    CBaseAreaView* view = owner->view;
    const QColor face = workDoc()->StateColour();

    const QRect edit = RangeEditRect();
    if (edit.intersects(visible)) {
        if (rangeEdit == nullptr) {
            if (owner->CreateEdit(rangeEdit, ToClient(edit), owner->doc->ranges().Format(), 255)) {
                NameControls();
                view->UpdateControlColours(rangeEdit);
            }
        } else {
            rangeEdit->setGeometry(ToClient(edit));
        }
    } else {
        owner->Release(rangeEdit);
    }

    const QRect check = IncludeCheckRect();
    if (check.intersects(visible)) {
        if (includeCheck == nullptr) {
            if (owner->CreateCheck(includeCheck, ToClient(check), owner->doc->included())) {
                NameControls();
            }
        } else {
            includeCheck->setGeometry(ToClient(check));
        }
    } else {
        owner->Release(includeCheck);
    }

    const QRect remove = RemoveButtonRect();
    if (remove.intersects(visible)) {
        if (removeButton == nullptr) {
            if (owner->CreateButton(removeButton, ToClient(remove), 0, face,
                                    ids::IDS_REMOVE_FILE_TIP, true)) {
                NameControls();
            }
        } else {
            removeButton->move(ToClient(remove).topLeft());
        }
    } else {
        owner->Release(removeButton);
    }

    if (workDoc()->PageCount() < 2) {
        owner->Release(expandButton);
        return;
    }
    if (rect.intersects(visible)) {
        const bool expanded = workDoc()->expanded();
        if (expandButton == nullptr) {
            if (owner->CreateButton(expandButton, QRect(), expanded ? 2 : 1, face,
                                    expanded ? ids::IDS_HIDE_CONTENTS : ids::IDS_SHOW_CONTENTS,
                                    true)) {
                NameControls();
            }
        }
        if (expandButton != nullptr) {
            const QSize size = expandButton->sizeHint();
            const int right = Right(rect) - (expanded ? 6 : 0);
            const QRect at(right - size.width(), Bottom(rect) - size.height(), size.width(),
                           size.height());
            expandButton->setGeometry(ToClient(at));
        }
    } else {
        owner->Release(expandButton);
    }
}

void WorkAreaDocDisplay::NameControls() {
    const QString file = FileNameOf(owner->doc->path());
    if (rangeEdit != nullptr) {
        rangeEdit->setAccessibleName(a11y::PagesFieldName(file));
        rangeEdit->setAccessibleDescription(owner->doc->path());
    }
    if (includeCheck != nullptr) {
        includeCheck->setAccessibleName(a11y::IncludeFileName(file));
        includeCheck->setAccessibleDescription(LoadResString(ids::IDS_TOGGLE_FILE_TIP));
    }
    if (removeButton != nullptr) {
        removeButton->setAccessibleName(a11y::RemoveFileName(file));
        removeButton->setAccessibleDescription(removeButton->toolTip());
    }
    if (expandButton != nullptr) {
        expandButton->setAccessibleName(a11y::ShowPagesName(workDoc()->expanded(), file));
        expandButton->setAccessibleDescription(expandButton->toolTip());
    }
}

void WorkAreaDocDisplay::SyncCheck() {
    if (includeCheck != nullptr) {
        includeCheck->setChecked(owner->doc->included());
    }
}

void WorkAreaDocDisplay::RefreshRangeText() {
    if (rangeEdit == nullptr) {
        return; // it gets the current text when it is created
    }
    if (!rangeTextForced && rangeEdit->hasFocus()) {
        return; // the user is typing
    }
    rangeTextForced = false;
    const QString text = owner->doc->ranges().Format();
    if (rangeEdit->text() != text) {
        rangeEdit->setText(text);
    }
    owner->view->UpdateControlColours(rangeEdit);
}

bool WorkAreaDocDisplay::OnControlClicked(int controlId) {
    CBaseAreaView* view = owner->view;
    if (controlId == view->ControlId(includeCheck)) {
        owner->doc->SetIncluded(!owner->doc->included());
        return true;
    }
    if (controlId == view->ControlId(removeButton)) {
        CMergeAreaView::PostRemoveDoc(view, owner->doc);
        return true;
    }
    if (controlId == view->ControlId(expandButton)) {
        workDoc()->SetExpanded(!workDoc()->expanded());
        return true;
    }
    return false;
}

QString WorkAreaDocDisplay::GetControlToolText(QWidget* control) {
    if (control != nullptr && control == includeCheck) {
        return LoadResString(ids::IDS_TOGGLE_FILE_TIP);
    }
    return {};
}

int WorkAreaDocDisplay::MenuHitTest(int x, int y) {
    return rect.contains(x, y) ? ids::IDR_DOCUMENT_MENU : 0;
}

void WorkAreaDocDisplay::PrepareMenu(QMenu& menu) {
    const CDoc* doc = owner->doc;
    const std::int64_t chosen = doc->included() ? doc->ranges().PageCount() : 0;
    const int pages = workDoc()->PageCount();
    if (QAction* all = CBaseAreaView::FindMenuAction(menu, ids::ID_ADD_ALL_PAGES)) {
        all->setEnabled(chosen != pages);
    }
    if (QAction* none = CBaseAreaView::FindMenuAction(menu, ids::ID_DESELECT_ALL_PAGES)) {
        none->setEnabled(chosen != 0);
    }
}

void WorkAreaDocDisplay::OnMenuCommand(int commandId) {
    CDoc* doc = owner->doc;
    switch (commandId) {
    case ids::ID_REMOVE_DOCUMENT:
        rangeTextForced = true;
        CMergeAreaView::PostRemoveDoc(owner->view, doc);
        break;
    case ids::ID_ADD_ALL_PAGES:
        rangeTextForced = true;
        doc->SetRanges(PageRangeList{{1, workDoc()->PageCount() + 1}});
        break;
    case ids::ID_DESELECT_ALL_PAGES:
        rangeTextForced = true;
        doc->SetRanges(PageRangeList());
        break;
    default:
        break;
    }
}

// ---- WorkAreaPageDisplay ----------------------------------------------------------------------

WorkAreaPageDisplay::WorkAreaPageDisplay(WorkAreaDoc* owner, int page)
    : WorkAreaDisplay(owner, page) {}

WorkAreaPageDisplay::~WorkAreaPageDisplay() {
    owner->Release(pageCheck);
}

QSize WorkAreaPageDisplay::GetSize() const {
    const int s = thumbnailSize;
    return {s + 14, s + 34};
}

QPoint WorkAreaPageDisplay::GetImageOrigin() const {
    return rect.topLeft() + QPoint(7, 27);
}

QRect WorkAreaPageDisplay::PageCheckRect() const {
    const QSize c = CheckSize();
    const QRect image = ImageRect();
    const int top = c.height() < 20 ? rect.y() + (20 - c.height()) / 2 : rect.y();
    return QRect(image.x() - 1, top, c.width(), c.height());
}

QRect WorkAreaPageDisplay::CaptionRect() const {
    const QRect image = ImageRect();
    const int x = image.x() + CheckSize().width() + 2;
    return QRect(x, rect.y(), Right(rect) - x - 6, image.y() - rect.y() - 2);
}

QString WorkAreaPageDisplay::CaptionFor(int availableWidth, const QFont& font) const {
    const QString longText = FormatResString(ids::IDS_PAGE_CAPTION, {QString::number(page)});
    if (QFontMetrics(font).horizontalAdvance(longText) > availableWidth) {
        return FormatResString(ids::IDS_PAGE_CAPTION_SHORT, {QString::number(page)});
    }
    return longText;
}

void WorkAreaPageDisplay::Draw(QPainter& g, const QRect& clip) {
    (void)clip;
    g.save();
    g.setFont(BoxFont(9, false, g.device()));
    g.setPen(QColor::fromRgba(boxcolours::kText));
    const QRect caption = CaptionRect();
    g.drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               CaptionFor(caption.width(), g.font()));
    g.restore();
    const QRect image = ImageRect();
    DrawPageImage(*this, image, g);
    DrawImageFrame(g, image);
}

void WorkAreaPageDisplay::PlaceControls(const QRect& visible) {
    const QRect check = PageCheckRect();
    if (check.intersects(visible)) {
        if (pageCheck == nullptr) {
            if (owner->CreateCheck(pageCheck, ToClient(check),
                                   owner->doc->ranges().Contains(page))) {
                // Each page's box tells which page of which document it chooses.
                pageCheck->setAccessibleName(a11y::PageName(page, FileNameOf(owner->doc->path())));
            }
        } else {
            pageCheck->setGeometry(ToClient(check));
        }
    } else {
        owner->Release(pageCheck);
    }
}

void WorkAreaPageDisplay::SyncCheck() {
    if (pageCheck != nullptr) {
        pageCheck->setChecked(owner->doc->ranges().Contains(page));
    }
}

bool WorkAreaPageDisplay::OnControlClicked(int controlId) {
    if (pageCheck == nullptr || controlId != owner->view->ControlId(pageCheck)) {
        return false;
    }
    CDoc* doc = owner->doc;
    if (pageCheck->isChecked()) {
        PageRangeList copy = doc->ranges();
        copy.Insert({page, page + 1});
        doc->SetRanges(copy);
    } else {
        doc->SetRanges(doc->ranges().Subtract({page, page + 1}));
    }
    return true;
}

QString WorkAreaPageDisplay::GetControlToolText(QWidget* control) {
    if (control != nullptr && control == pageCheck) {
        return LoadResString(ids::IDS_TOGGLE_PAGE_TIP);
    }
    return {};
}

int WorkAreaPageDisplay::MenuHitTest(int x, int y) {
    return rect.contains(x, y) ? ids::IDR_PAGE_MENU : 0;
}

void WorkAreaPageDisplay::PrepareMenu(QMenu& menu) {
    const bool chosen = owner->doc->ranges().Contains(page);
    if (QAction* use = CBaseAreaView::FindMenuAction(menu, ids::ID_USE_PAGE_IN_MERGE)) {
        use->setCheckable(true);
        use->setChecked(chosen);
    }
    workDoc()->contextPageChosen = chosen;
    if (auto* work = dynamic_cast<CWorkAreaView*>(owner->view)) {
        work->SetContextPageChosen(chosen);
    }
}

void WorkAreaPageDisplay::OnMenuCommand(int commandId) {
    if (commandId != ids::ID_USE_PAGE_IN_MERGE) {
        return;
    }
    CDoc* doc = owner->doc;
    if (doc->ranges().Contains(page)) {
        doc->SetRanges(doc->ranges().Subtract({page, page + 1}));
    } else {
        PageRangeList copy = doc->ranges();
        copy.Insert({page, page + 1});
        doc->SetRanges(copy);
    }
}

// ---- WorkAreaDoc ------------------------------------------------------------------------------

WorkAreaDoc::WorkAreaDoc(CBaseAreaView* view, CDoc* doc) : BaseDisplayBox(view, doc) {
    children.push_back(std::make_unique<WorkAreaDocDisplay>(this));
}

WorkAreaDoc::~WorkAreaDoc() {
    // Page boxes first, then the header, each releasing its own controls.
    while (!children.empty()) {
        children.pop_back();
    }
}

WorkAreaDocDisplay* WorkAreaDoc::header() const {
    return static_cast<WorkAreaDocDisplay*>(children.front().get());
}

int WorkAreaDoc::PageCount() const {
    return doc != nullptr ? doc->PageCount() : 0;
}

QColor WorkAreaDoc::StateColour() const {
    const bool open = expanded();
    if (hovered) {
        return QColor::fromRgba(open ? workcolours::kHoverExpanded : workcolours::kHoverCollapsed);
    }
    return QColor::fromRgba(open ? workcolours::kExpanded : workcolours::kCollapsed);
}

int WorkAreaDoc::LastBottom() const {
    return Bottom(children.back()->rect);
}

int WorkAreaDoc::LastRight() const {
    return Right(children.back()->rect);
}

void WorkAreaDoc::SetExpanded(bool expand) {
    if (expand == expanded() || (expand && PageCount() < 2)) {
        return;
    }
    WorkAreaDocDisplay* head = header();
    head->ResetPosition(); // its width changes by 6
    if (expand) {
        const int pages = PageCount();
        children.reserve(static_cast<std::size_t>(pages) + 1);
        for (int page = 1; page <= pages; ++page) {
            children.push_back(std::make_unique<WorkAreaPageDisplay>(this, page));
        }
    } else {
        while (children.size() > 1) {
            children.pop_back();
        }
    }
    view->Relayout();
    if (head->expandButton != nullptr) {
        SetButtonImage(head->expandButton, expand ? 2 : 1);
        CBaseAreaView::SetControlTip(
            head->expandButton,
            LoadResString(expand ? ids::IDS_HIDE_CONTENTS : ids::IDS_SHOW_CONTENTS));
        head->NameControls();
    }
    head->UpdateButtonFaces();
    // The check boxes' background follows the state.
    for (const auto& child : children) {
        if (auto* page = dynamic_cast<WorkAreaPageDisplay*>(child.get())) {
            view->UpdateControlColours(page->pageCheck);
        }
    }
    view->UpdateControlColours(head->includeCheck);
}

void WorkAreaDoc::LayoutDoc(int areaLeft, int areaWidth, int& x, int& y, int& rowHeight,
                            const QRect& visible) {
    wrapped = false;
    int shift = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
        WorkAreaDisplay* child = children[i].get();
        const QSize size = child->GetSize();
        if (x + size.width() > areaWidth && x > areaLeft) {
            x = areaLeft;
            y = y + rowHeight + 12;
            rowHeight = 0;
            shift = 0;
            if (i != 0) {
                wrapped = true;
            }
        }
        child->SetPosition(x, y + shift, visible);
        rowHeight = std::max(rowHeight, size.height());
        x = x + size.width() + 6;
        if (i == 0) {
            shift = 24;
        }
    }
}

void WorkAreaDoc::DrawBand(QPainter& g, const QRect& clip) {
    QRect row;
    for (const auto& child : children) {
        const QRect& r = child->rect;
        if (row.isNull()) {
            row = r;
        } else if (r.y() >= Bottom(row)) {
            FillClipped(g, row, clip, workcolours::kBand);
            // The gap between this row and the next one.
            const int left = std::min(row.x(), r.x());
            const int right = std::max(Right(row), Right(r));
            FillClipped(g, EdgeRect(left, Bottom(row), right, r.y()), clip, workcolours::kBand);
            row = r;
        } else {
            row = row.united(r);
        }
    }
    if (!row.isNull()) {
        FillClipped(g, row, clip, workcolours::kBand);
    }
}

void WorkAreaDoc::Draw(QPainter& g, const QRect& clip) {
    const QRect& head = header()->rect;
    if (head.isNull() || Bottom(clip) <= head.y() || clip.y() >= LastBottom()) {
        return;
    }
    const bool open = expanded();
    if (open) {
        DrawBand(g, clip);
    }
    if (!open || hovered) {
        QRect fill = head;
        if (open) {
            fill.setWidth(fill.width() - 6);
        }
        FillClipped(g, fill, clip, StateColour().rgba());
    }
    for (const auto& child : children) {
        if (child->rect.intersects(clip)) {
            child->Draw(g, clip);
        }
    }
    if (dropMarkShown) {
        DrawDropMark(g);
    }
}

QRect WorkAreaDoc::DropMarkRect(bool after) const {
    const int s = thumbnailSize;
    if (after) {
        const int r = LastRight();
        const int b = LastBottom();
        return EdgeRect(r, b - s - 6, r + 6, b - 6).translated(-1, 0);
    }
    const QRect& head = header()->rect;
    const int b = Bottom(head);
    return EdgeRect(head.x() - 6, b - s - 6, head.x(), b - 6);
}

void WorkAreaDoc::DrawDropMark(QPainter& g) {
    const QRect r = DropMarkRect(dropMarkAfter).adjusted(1, 1, -1, -1);
    if (r.isEmpty()) {
        return;
    }
    g.save();
    g.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath path;
    path.addRoundedRect(QRectF(r), 1.0, 1.0);
    const QColor colour = QColor::fromRgba(workcolours::kDropMark);
    g.fillPath(path, colour);
    g.setPen(QPen(colour, 1));
    g.drawPath(path);
    g.restore();
}

void WorkAreaDoc::OnControlClicked(int controlId) {
    // The expand button may replace the page boxes: iterate by index over a stable header first.
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (children[i]->OnControlClicked(controlId)) {
            return;
        }
    }
}

void WorkAreaDoc::OnEditChanged(int controlId) {
    WorkAreaDocDisplay* head = header();
    if (head->rangeEdit == nullptr || controlId != view->ControlId(head->rangeEdit)) {
        return;
    }
    PageRangeList parsed;
    if (parsed.IsValidFor(head->rangeEdit->text(), PageCount())) {
        doc->SetRanges(parsed);
    }
    view->UpdateControlColours(head->rangeEdit);
}

void WorkAreaDoc::OnEditFocusLost(int controlId) {
    WorkAreaDocDisplay* head = header();
    if (head->rangeEdit == nullptr || controlId != view->ControlId(head->rangeEdit)) {
        return;
    }
    if (!head->RangeTextValid()) {
        head->rangeEdit->setText(doc->ranges().Format());
        view->UpdateControlColours(head->rangeEdit);
    }
}

void WorkAreaDoc::AppendFocusOrder(std::vector<QWidget*>& order) const {
    // The header's controls as they are read, then the pages' check boxes.
    const WorkAreaDocDisplay* head = header();
    for (QWidget* control : std::initializer_list<QWidget*>{
             head->rangeEdit, head->includeCheck, head->removeButton, head->expandButton}) {
        if (control != nullptr) {
            order.push_back(control);
        }
    }
    for (std::size_t i = 1; i < children.size(); ++i) {
        if (const auto* page = static_cast<const WorkAreaPageDisplay*>(children[i].get());
            page->pageCheck != nullptr) {
            order.push_back(page->pageCheck);
        }
    }
}

void WorkAreaDoc::AppendThumbnails(std::vector<AccessibleThumbnail>& out,
                                   const QRect& visible) const {
    const QString file = FileNameOf(doc->path());
    for (std::size_t i = 0; i < children.size(); ++i) {
        const WorkAreaDisplay* child = children[i].get();
        if (child->rect.isNull()) {
            continue;
        }
        const QRect image = child->ImageRect();
        if (!image.intersects(visible)) {
            continue;
        }
        AccessibleThumbnail thumbnail;
        thumbnail.key = i == 0 ? 0 : child->page;
        thumbnail.rect = image;
        thumbnail.name =
            i == 0 ? a11y::FirstPageName(file) : a11y::ThumbnailName(child->page, file);
        out.push_back(std::move(thumbnail));
    }
}

void WorkAreaDoc::PlaceControls(const QRect& visible) {
    for (const auto& child : children) {
        child->PlaceControls(visible);
    }
}

void WorkAreaDoc::InvalidateVisible(const QRect& visible) {
    for (const auto& child : children) {
        child->InvalidateVisible(visible);
    }
}

void WorkAreaDoc::HandleNotify(NotifyCode code, NotifyData payload) {
    switch (code) {
    case NotifyCode::DocIncludedChanged:
        header()->SyncCheck();
        break;
    case NotifyCode::DocRangesChanged:
        header()->RefreshRangeText();
        for (const auto& child : children) {
            child->SyncCheck();
        }
        break;
    case NotifyCode::ThumbSizeChanged:
        for (const auto& child : children) {
            child->ResetPosition();
        }
        view->Relayout();
        break;
    case NotifyCode::PageRetrieved: {
        const PageRetrievedInfo* info = payload.page();
        if (info == nullptr || info->doc != doc) {
            break;
        }
        for (const auto& child : children) {
            if (child->page == info->page && !child->rect.isNull()) {
                view->InvalidateContentRect(child->rect, false);
            }
        }
        break;
    }
    default:
        break;
    }
}

int WorkAreaDoc::ToolHitTest(int x, int y, QRect* rect) {
    WorkAreaDocDisplay* head = header();
    if (head->rect.isNull()) {
        return 0;
    }
    const QRect tool = head->TitleToolRect();
    if (!tool.contains(x, y)) {
        return 0;
    }
    if (rect != nullptr) {
        *rect = head->ToClient(tool);
    }
    return 1;
}

QString WorkAreaDoc::GetToolText(int toolId) {
    return toolId == 1 ? doc->path() : QString();
}

QString WorkAreaDoc::GetControlToolText(QWidget* control) {
    for (const auto& child : children) {
        QString text = child->GetControlToolText(control);
        if (!text.isEmpty()) {
            return text;
        }
    }
    return {};
}

int WorkAreaDoc::MenuHitTest(int x, int y, PageDisplayBox** item) {
    const QRect& head = header()->rect;
    if (head.isNull() || y < head.y() || y >= LastBottom()) {
        return 0;
    }
    for (const auto& child : children) {
        const int menu = child->MenuHitTest(x, y);
        if (menu != 0) {
            if (item != nullptr) {
                *item = child.get();
            }
            return menu;
        }
    }
    return 0;
}

bool WorkAreaDoc::OwnsChild(const PageDisplayBox* item) const {
    return std::any_of(children.begin(), children.end(),
                       [item](const auto& c) { return c.get() == item; });
}

void WorkAreaDoc::PrepareMenu(QMenu& menu, PageDisplayBox* item) {
    if (item != nullptr && OwnsChild(item)) {
        static_cast<WorkAreaDisplay*>(item)->PrepareMenu(menu);
    }
}

void WorkAreaDoc::OnMenuCommand(int commandId, PageDisplayBox* item) {
    // The page box may have gone while the menu was open (the document was collapsed).
    if (item != nullptr && OwnsChild(item)) {
        static_cast<WorkAreaDisplay*>(item)->OnMenuCommand(commandId);
    }
}

bool WorkAreaDoc::HoverHitTest(int x, int y) {
    return header()->rect.contains(x, y);
}

std::optional<QCursor> WorkAreaDoc::SetHover(bool on, const QRect& visible) {
    if (on == hovered) {
        return std::nullopt;
    }
    hovered = on;
    header()->UpdateButtonFaces();
    const QRect part = header()->rect.intersected(visible);
    if (!part.isEmpty()) {
        view->InvalidateContentRect(part, true);
    }
    return std::nullopt;
}

std::optional<DragInfo> WorkAreaDoc::DragHitTest(int x, int y) {
    WorkAreaDocDisplay* head = header();
    if (!head->rect.contains(x, y)) {
        return std::nullopt;
    }
    DragInfo info;
    info.image = head->GetPageImage(true);
    if (head->image.isNull()) {
        head->image = info.image;
    }
    const QRect image = head->ImageRect();
    info.size = image.size();
    int dx = 0;
    if (x > Right(image)) {
        dx = image.x() - Right(image);
    } else if (x > image.x()) {
        dx = image.x() - x;
    }
    int dy = 0;
    if (y > Bottom(image)) {
        dy = image.y() - Bottom(image);
    } else if (y > image.y()) {
        dy = image.y() - y;
    }
    info.hotspot = QPoint(dx, dy);
    return info;
}

WorkAreaDoc::DropHit WorkAreaDoc::DropHitTest(int x, int y) const {
    const QRect& head = header()->rect;
    if (y < head.y()) {
        return {true, false};
    }
    const int bottom = LastBottom();
    if (y > bottom) {
        return {};
    }
    if (wrapped) {
        return {true, y > (head.y() + bottom) / 2};
    }
    const int right = LastRight();
    if (x > right) {
        return {};
    }
    return {true, x > (head.x() + right) / 2};
}

void WorkAreaDoc::SetDropMark(bool on, bool after) {
    if (on == dropMarkShown && after == dropMarkAfter) {
        return;
    }
    if (dropMarkShown) {
        view->InvalidateContentRect(DropMarkRect(dropMarkAfter), true);
    }
    dropMarkShown = on;
    dropMarkAfter = after;
    if (on) {
        view->InvalidateContentRect(DropMarkRect(after), true);
    }
}

} // namespace plyfold
