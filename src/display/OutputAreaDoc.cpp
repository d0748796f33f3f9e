#include "display/OutputAreaDoc.h"

#include "display/AreaAccessibility.h"
#include "display/CBaseAreaView.h"
#include "display/COutputAreaView.h"
#include "engine/CDoc.h"
#include "engine/ProcessGlobals.h"
#include "res/CommandIds.h"
#include "res/Menus.h"
#include "res/Strings.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace plyfold {

namespace {

constexpr int kHeaderHeight = 31;  // the header bar
constexpr int kHeaderMargin = 3;   // around the header bar
constexpr int kButtonEdge = 20;    // the expand button
constexpr int kNameLeft = 32;      // file name, from the header's left edge
constexpr int kCountRightGap = 24; // page count, from the header's right edge
constexpr int kCountFallback = 26; // count width when the text cannot be measured
constexpr int kPageGap = 6;        // between page boxes
constexpr int kBoxLeft = 20;       // page box, from the area's left edge
constexpr int kBoxRightGap = 24;   // page box, from the area's right edge
constexpr int kImageLeft = 26;     // image column, from the area's left edge
constexpr int kImageMargins = 56;  // W - A
constexpr int kImageTop = 6;       // image, below the box top
constexpr int kBoxExtra = 28;      // box height beyond the image
constexpr int kCaptionHeight = 20;

bool IsWordBreak(QChar c) {
    return c.isSpace() || c == QLatin1Char('-') || c == QLatin1Char('_');
}

} // namespace

QSize FitOutputImage(double aspect, int available, int thumb) {
    int w = 0;
    int h = 0;
    if (!(aspect > 0.0) || !std::isfinite(aspect)) {
        w = available;
        h = thumb;
        if (thumb > available) {
            h = available; // A / S x S
        }
    } else {
        const double exact = aspect * thumb;
        w = exact >= static_cast<double>(std::numeric_limits<int>::max())
                ? std::numeric_limits<int>::max()
                : static_cast<int>(exact);
        h = thumb;
        if (w > available) {
            // A / w x S, truncated; integer arithmetic keeps the truncation exact.
            h = w > 0 ? static_cast<int>(static_cast<long long>(available) * thumb / w) : 0;
            w = available;
        }
    }
    return {std::max(0, w), std::max(0, h)};
}

QString TrimAtWord(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    const QString ellipsis(QChar(0x2026));
    for (qsizetype cut = text.size() - 1; cut > 0; --cut) {
        // Cut before a space, or just after a dash or an underscore.
        const bool before = text.at(cut).isSpace();
        const bool after = IsWordBreak(text.at(cut - 1)) && !text.at(cut - 1).isSpace();
        if (!before && !after) {
            continue;
        }
        QString candidate = text.left(cut);
        while (!candidate.isEmpty() && candidate.back().isSpace()) {
            candidate.chop(1);
        }
        if (candidate.isEmpty()) {
            continue;
        }
        candidate += ellipsis;
        if (const int used = metrics.horizontalAdvance(candidate); used <= width) {
            // A word cut is kept only while it uses most of the room.
            if (3 * used >= 2 * width) {
                return candidate;
            }
            break;
        }
    }
    return metrics.elidedText(text, Qt::ElideRight, std::max(0, width));
}

// ---- OutputAreaPageDisplay --------------------------------------------------------------------

OutputAreaPageDisplay::OutputAreaPageDisplay(OutputAreaDocDisplay* owner, int page)
    : PageDisplayBox(owner, page) {}

OutputAreaPageDisplay::~OutputAreaPageDisplay() {
    if (owner != nullptr) {
        owner->Release(removeButton);
    }
}

OutputAreaDocDisplay* OutputAreaPageDisplay::section() const {
    return static_cast<OutputAreaDocDisplay*>(owner);
}

QRect OutputAreaPageDisplay::CaptionRect() const {
    return QRect(imageRect.x(), Bottom(imageRect), imageRect.width(), kCaptionHeight);
}

QRect OutputAreaPageDisplay::RemoveButtonRect() const {
    return EdgeRect(Right(rect) - 26, Bottom(imageRect) + 2, Right(rect) - 3, Bottom(rect));
}

QString OutputAreaPageDisplay::CaptionText() const {
    return LoadResString(ids::IDS_PAGE_CAPTION)
        .replace(QStringLiteral("%d"), QString::number(page));
}

void OutputAreaPageDisplay::Draw(QPainter& g, const QRect& clip) {
    g.fillRect(rect.intersected(clip), QColor::fromRgba(outputcolours::kPage));
    DrawPageImage(*this, imageRect, g);
    DrawImageFrame(g, imageRect);
    g.save();
    g.setFont(BoxFont(9, false, g.device()));
    g.setPen(QColor::fromRgba(boxcolours::kText));
    g.drawText(CaptionRect(), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
               CaptionText());
    g.restore();
}

// ---- OutputAreaDocDisplay ---------------------------------------------------------------------

OutputAreaDocDisplay::OutputAreaDocDisplay(CBaseAreaView* view, CDoc* doc)
    : BaseDisplayBox(view, doc) {
    if (doc != nullptr) {
        for (const PageRange& range : doc->ranges()) {
            for (int page = range.first; page < range.end; ++page) {
                pages.push_back(std::make_unique<OutputAreaPageDisplay>(this, page));
            }
        }
    }
}

OutputAreaDocDisplay::~OutputAreaDocDisplay() {
    pages.clear(); // the page boxes release their buttons while the view still knows them
    Release(expandButton);
}

int OutputAreaDocDisplay::PageCount() const {
    if (doc == nullptr || !doc->included()) {
        return 0;
    }
    return static_cast<int>(
        std::min<std::int64_t>(doc->ranges().PageCount(), std::numeric_limits<int>::max()));
}

QString OutputAreaDocDisplay::CountText() const {
    return QStringLiteral("%1pg.").arg(PageCount());
}

OutputAreaPageDisplay* OutputAreaDocDisplay::FindPage(int page) const {
    const auto it = std::lower_bound(pages.begin(), pages.end(), page,
                                     [](const auto& box, int p) { return box->page < p; });
    if (it != pages.end() && (*it)->page == page) {
        return it->get();
    }
    return nullptr;
}

OutputAreaPageDisplay* OutputAreaDocDisplay::PageAt(int x, int y) const {
    // Laid-out boxes run down the column in page order.
    const auto it = std::partition_point(pages.begin(), pages.end(),
                                         [y](const auto& box) { return Bottom(box->rect) <= y; });
    if (it != pages.end() && (*it)->rect.contains(x, y)) {
        return it->get();
    }
    return nullptr;
}

QRect OutputAreaDocDisplay::ExpandButtonRect() const {
    return QRect(headerRect.x() + 6, headerRect.y() + (kHeaderHeight - kButtonEdge) / 2,
                 kButtonEdge, kButtonEdge);
}

QRect OutputAreaDocDisplay::ToClient(const QRect& content) const {
    return content.translated(0, -(view != nullptr ? view->scrollPos() : 0));
}

// ---- Layout -----------------------------------------------------------------------------------

int OutputAreaDocDisplay::PageLayout(int y, OutputAreaPageDisplay& box, int width) {
    if (!box.rect.isNull() && box.rect.width() == width - (kBoxLeft + kBoxRightGap)) {
        const int dy = y - box.rect.y();
        box.rect.translate(0, dy);
        box.imageRect.translate(0, dy);
        return Bottom(box.rect);
    }
    const int available = width - kImageMargins;
    const QSize fitted = FitOutputImage(PageAspect(doc, box.page), available, thumbnailSize);
    const int w = fitted.width();
    const int h = fitted.height();
    box.rect = EdgeRect(kBoxLeft, y, width - kBoxRightGap, y + h + kBoxExtra);
    box.imageRect = QRect(kImageLeft + (available - w) / 2, y + kImageTop, w, h);
    return y + h + kBoxExtra;
}

int OutputAreaDocDisplay::SectionLayout(int y, int width, const QRect& visible) {
    const QRect header = EdgeRect(kHeaderMargin, y + kHeaderMargin, width - kHeaderMargin,
                                  y + kHeaderMargin + kHeaderHeight);
    int next = y + kHeaderMargin + kHeaderHeight;
    bool place = header != headerRect || controlsStale;
    headerRect = header;
    if (expanded) {
        for (auto& box : pages) {
            next = PageLayout(next, *box, width) + kPageGap;
        }
        const QRect band = EdgeRect(header.x(), Bottom(header), Right(header), next);
        place = place || band != pagesRect;
        pagesRect = band;
    }
    if (place) {
        PlaceControls(visible);
    }
    return next;
}

void OutputAreaDocDisplay::ResetPagePositions() {
    for (auto& box : pages) {
        box->ResetPosition();
    }
}

// ---- Keeping the pages in step ----------------------------------------------------------------

bool OutputAreaDocDisplay::SyncPages() {
    // One walk over the chosen pages and the boxes together, both ascending: a box whose page is
    // still chosen is kept (with its image and position), a box whose page left is deleted, and a
    // chosen page without a box gets a new one in its place.
    std::vector<std::unique_ptr<OutputAreaPageDisplay>> synced;
    synced.reserve(pages.size());
    bool changed = false;
    std::size_t p = 0;
    if (doc != nullptr) {
        for (const PageRange& range : doc->ranges()) {
            for (int i = range.first; i < range.end; ++i) {
                while (p < pages.size() && pages[p]->page < i) {
                    pages[p].reset();
                    ++p;
                    changed = true;
                }
                if (p < pages.size() && pages[p]->page == i) {
                    synced.push_back(std::move(pages[p]));
                    ++p;
                } else {
                    synced.push_back(std::make_unique<OutputAreaPageDisplay>(this, i));
                    changed = true;
                }
            }
        }
    }
    if (p < pages.size()) {
        changed = true;
    }
    pages.swap(synced);
    synced.clear(); // the boxes of pages that left
    if (changed) {
        // A new box can take the place of a removed one without moving the band; it still needs
        // its button.
        controlsStale = true;
    }
    return changed;
}

// ---- Expanding --------------------------------------------------------------------------------

void OutputAreaDocDisplay::UpdateExpandButton() {
    if (expandButton == nullptr) {
        return;
    }
    expandButton->setIcon(BoxButtonIcon(expanded ? 2 : 1));
    CBaseAreaView::SetControlTip(
        expandButton, LoadResString(expanded ? ids::IDS_HIDE_CONTENTS : ids::IDS_SHOW_CONTENTS));
    expandButton->setAccessibleName(
        a11y::ShowPagesName(expanded, FileNameOf(doc != nullptr ? doc->path() : QString())));
    expandButton->setAccessibleDescription(expandButton->toolTip());
}

void OutputAreaDocDisplay::SetExpanded(bool expand) {
    if (expand == expanded) {
        return;
    }
    expanded = expand;
    UpdateExpandButton();
    controlsStale = true;
    if (view != nullptr) {
        view->Relayout();
    }
    if (!expanded) {
        for (auto& box : pages) {
            Release(box->removeButton);
        }
    }
}

// ---- Controls ---------------------------------------------------------------------------------

void OutputAreaDocDisplay::PlaceControls(const QRect& visible) {
    const QRect expandRect = ExpandButtonRect();
    if (expandRect.intersects(visible)) {
        if (expandButton == nullptr) {
            if (CreateButton(expandButton, ToClient(expandRect), expanded ? 2 : 1,
                             QColor::fromRgba(outputcolours::kHeader),
                             expanded ? ids::IDS_HIDE_CONTENTS : ids::IDS_SHOW_CONTENTS, false)) {
                UpdateExpandButton();
                view->UpdateControlColours(expandButton);
            }
        } else {
            expandButton->setGeometry(ToClient(expandRect));
        }
    } else {
        Release(expandButton);
    }

    if (expanded) {
        const QString name = FileNameOf(doc != nullptr ? doc->path() : QString());
        for (auto& box : pages) {
            if (box->rect.isNull()) {
                continue;
            }
            const QRect r = box->RemoveButtonRect();
            if (r.intersects(visible)) {
                if (box->removeButton == nullptr) {
                    if (CreateButton(box->removeButton, ToClient(r), 0,
                                     QColor::fromRgba(outputcolours::kPage),
                                     ids::IDS_REMOVE_PAGE_TIP, false)) {
                        // Tells the many remove buttons apart for assistive tools.
                        box->removeButton->setAccessibleName(a11y::RemovePageName(box->page, name));
                        box->removeButton->setAccessibleDescription(box->removeButton->toolTip());
                        view->UpdateControlColours(box->removeButton);
                    }
                } else {
                    box->removeButton->setGeometry(ToClient(r));
                }
            } else {
                Release(box->removeButton);
            }
        }
    } else {
        for (auto& box : pages) {
            Release(box->removeButton);
        }
    }
    controlsStale = false;
}

void OutputAreaDocDisplay::AppendFocusOrder(std::vector<QWidget*>& order) const {
    if (expandButton != nullptr) {
        order.push_back(expandButton);
    }
    for (const auto& box : pages) {
        if (box->removeButton != nullptr) {
            order.push_back(box->removeButton);
        }
    }
}

void OutputAreaDocDisplay::AppendThumbnails(std::vector<AccessibleThumbnail>& out,
                                            const QRect& visible) const {
    if (!expanded || !pagesRect.intersects(visible)) {
        return;
    }
    const QString file = FileNameOf(doc != nullptr ? doc->path() : QString());
    for (const auto& box : pages) {
        if (box->rect.isNull() || !box->imageRect.intersects(visible)) {
            continue;
        }
        out.push_back({box->page, box->imageRect, a11y::ThumbnailName(box->page, file)});
    }
}

void OutputAreaDocDisplay::OnControlClicked(int controlId) {
    if (view == nullptr) {
        return;
    }
    if (expandButton != nullptr && view->ControlId(expandButton) == controlId) {
        SetExpanded(!expanded);
        return;
    }
    if (!expanded) {
        return;
    }
    for (const auto& box : pages) {
        if (box->removeButton != nullptr && view->ControlId(box->removeButton) == controlId) {
            PostRemovePage(box->page);
            return;
        }
    }
}

void OutputAreaDocDisplay::PostRemovePage(int page) {
    if (view == nullptr || doc == nullptr) {
        return;
    }
    COutputAreaView::PostRemovePage(view, doc, page);
}

// ---- Drawing ----------------------------------------------------------------------------------

void OutputAreaDocDisplay::DrawHeader(QPainter& g, const QRect& clip) {
    if (!headerRect.intersects(clip)) {
        return;
    }
    g.fillRect(headerRect, QColor::fromRgba(outputcolours::kHeader));
    g.save();
    const QFont font = BoxFont(9, false, g.device());
    g.setFont(font);
    g.setPen(QColor::fromRgba(boxcolours::kText));
    const QFontMetrics metrics(font);
    const QString count = CountText();
    int c = metrics.horizontalAdvance(count);
    if (c <= 0) {
        c = kCountFallback;
    }
    const int left = headerRect.x();
    const int right = Right(headerRect);
    const int nameWidth = (right - kCountRightGap) - c - (left + kNameLeft) - 5;
    const QRect nameRect(left + kNameLeft, headerRect.y(), std::max(0, nameWidth),
                         headerRect.height());
    const QRect countRect(right - kCountRightGap - c, headerRect.y(), c, headerRect.height());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    if (nameWidth > 0) {
        const QString name = FileNameOf(doc != nullptr ? doc->path() : QString());
        g.save();
        g.setClipRect(nameRect, Qt::IntersectClip);
        g.drawText(nameRect, flags, TrimAtWord(name, metrics, nameWidth));
        g.restore();
    }
    g.drawText(countRect, flags | Qt::TextDontClip, count);
    g.restore();
}

void OutputAreaDocDisplay::Draw(QPainter& g, const QRect& clip) {
    DrawHeader(g, clip);
    if (!expanded || !pagesRect.intersects(clip)) {
        return;
    }
    g.fillRect(pagesRect.intersected(clip), QColor::fromRgba(outputcolours::kHeader));
    // Skip the boxes above the clip; stop at the first one below it.
    auto it = std::partition_point(pages.begin(), pages.end(), [&clip](const auto& box) {
        return Bottom(box->rect) <= clip.y();
    });
    for (; it != pages.end(); ++it) {
        if ((*it)->rect.y() >= Bottom(clip)) {
            break;
        }
        (*it)->Draw(g, clip);
    }
}

void OutputAreaDocDisplay::InvalidateVisible(const QRect& visible) {
    if (view == nullptr) {
        return;
    }
    QRect whole = headerRect;
    if (expanded) {
        whole = whole.united(pagesRect);
    }
    const QRect part = whole.intersected(visible);
    if (!part.isEmpty()) {
        view->InvalidateContentRect(part, true);
    }
}

// ---- Notifications ----------------------------------------------------------------------------

void OutputAreaDocDisplay::HandleNotify(NotifyCode code, NotifyData payload) {
    switch (code) {
    case NotifyCode::DocRangesChanged:
        if (!payload.empty() && payload.doc() != doc) {
            return;
        }
        SyncPages();
        if (view == nullptr) {
            return;
        }
        if (expanded) {
            view->Relayout();
        } else {
            view->InvalidateBox(this);
        }
        return;
    case NotifyCode::ThumbSizeChanged:
        ResetPagePositions();
        if (view != nullptr) {
            view->Relayout();
        }
        return;
    case NotifyCode::PageRetrieved: {
        const PageRetrievedInfo* info = payload.page();
        if (info == nullptr || info->doc != doc || !expanded || view == nullptr) {
            return;
        }
        if (OutputAreaPageDisplay* box = FindPage(info->page);
            box != nullptr && !box->rect.isNull()) {
            view->InvalidateContentRect(box->rect, false);
        }
        return;
    }
    default:
        return;
    }
}

// ---- Tooltips and menus -----------------------------------------------------------------------

int OutputAreaDocDisplay::ToolHitTest(int x, int y, QRect* rect) {
    if (!headerRect.contains(x, y)) {
        return 0;
    }
    if (rect != nullptr) {
        *rect = ToClient(headerRect);
    }
    return kOutputHeaderToolId;
}

QString OutputAreaDocDisplay::GetToolText(int toolId) {
    if (toolId != kOutputHeaderToolId || doc == nullptr) {
        return {};
    }
    return doc->GetPath();
}

QString OutputAreaDocDisplay::GetControlToolText(QWidget* control) {
    if (control == nullptr) {
        return {};
    }
    if (control == expandButton) {
        return LoadResString(expanded ? ids::IDS_HIDE_CONTENTS : ids::IDS_SHOW_CONTENTS);
    }
    for (const auto& box : pages) {
        if (box->removeButton == control) {
            return LoadResString(ids::IDS_REMOVE_PAGE_TIP);
        }
    }
    return {};
}

int OutputAreaDocDisplay::MenuHitTest(int x, int y, PageDisplayBox** item) {
    if (headerRect.contains(x, y)) {
        if (item != nullptr) {
            *item = nullptr;
        }
        return ids::IDR_DOCUMENT_MENU;
    }
    if (expanded) {
        if (OutputAreaPageDisplay* box = PageAt(x, y)) {
            if (item != nullptr) {
                *item = box;
            }
            return ids::IDR_OUTPUT_PAGE_MENU;
        }
    }
    return 0;
}

void OutputAreaDocDisplay::PrepareMenu(QMenu& menu, PageDisplayBox* item) {
    if (item != nullptr || doc == nullptr) {
        return;
    }
    if (QAction* addAll = CBaseAreaView::FindMenuAction(menu, ids::ID_ADD_ALL_PAGES)) {
        addAll->setEnabled(PageCount() != doc->PageCount());
    }
}

void OutputAreaDocDisplay::OnMenuCommand(int commandId, PageDisplayBox* item) {
    if (doc == nullptr || view == nullptr) {
        return;
    }
    CDoc* const d = doc;
    switch (commandId) {
    case ids::ID_REMOVE_DOCUMENT:
        CMergeAreaView::PostRemoveDoc(view, d);
        return;
    case ids::ID_ADD_ALL_PAGES:
        // The section may be gone once SetRanges returns: nothing of it is touched afterwards.
        d->SetRanges(PageRangeList{PageRange{1, d->PageCount() + 1}});
        return;
    case ids::ID_DESELECT_ALL_PAGES:
        d->SetRanges(PageRangeList{});
        return;
    case ids::ID_REMOVE_PAGE: {
        // The box the menu was opened on may have left while the menu was up.
        const bool held = std::any_of(pages.begin(), pages.end(),
                                      [item](const auto& box) { return box.get() == item; });
        if (held) {
            PostRemovePage(item->page);
        }
        return;
    }
    default:
        return;
    }
}

} // namespace plyfold
