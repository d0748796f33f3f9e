#include "display/CWorkAreaView.h"

#include "display/WorkAreaDoc.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

namespace plyfold {

namespace {

QStringList LocalPaths(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

} // namespace

CWorkAreaView::CWorkAreaView(DocumentList* documents, QWidget* parent)
    : CMergeAreaView(documents, parent) {
    SetBackgroundColour(QColor::fromRgba(kBackground));
    setAcceptDrops(true);
    UpdateAccessibleName();
}

void CWorkAreaView::UpdateAccessibleName() {
    // The empty area's invitation is its name only while it is shown.
    setAccessibleName(m_boxes.empty()
                          ? LoadResString(ids::IDS_EMPTY_AREA_TITLE)
                          : QCoreApplication::translate("AreaAccessibility", "Documents to merge"));
}

CWorkAreaView::~CWorkAreaView() = default;

WorkAreaDoc* CWorkAreaView::BoxOf(const CDoc* doc) const {
    return static_cast<WorkAreaDoc*>(FindBox(doc));
}

WorkAreaDoc* CWorkAreaView::BoxAt(std::size_t index) const {
    return index < m_boxes.size() ? static_cast<WorkAreaDoc*>(m_boxes[index].get()) : nullptr;
}

void CWorkAreaView::Notify(NotifyCode code, NotifyData data) {
    CDoc* doc = data.doc();
    switch (code) {
    case NotifyCode::DocAdded:
        if (doc != nullptr && FindBox(doc) == nullptr) {
            AppendBox(std::make_unique<WorkAreaDoc>(this, doc));
        }
        UpdateAccessibleName();
        break;
    case NotifyCode::DocRemoved:
        if (WorkAreaDoc* box = BoxOf(doc)) {
            // A document that leaves during a drag ends the drag first.
            if (box == m_draggedBox || box == m_dropTarget) {
                EndDrag(true);
            }
            RemoveBox(doc);
        }
        UpdateAccessibleName();
        break;
    case NotifyCode::DocIncludedChanged:
    case NotifyCode::DocRangesChanged:
        if (WorkAreaDoc* box = BoxOf(doc)) {
            box->HandleNotify(code, data);
        }
        break;
    case NotifyCode::ThumbSizeChanged:
        // Every box lays out anew; the view lays out once at the end.
        BeginLayoutBatch();
        for (const auto& box : m_boxes) {
            box->HandleNotify(code, data);
        }
        EndLayoutBatch();
        break;
    case NotifyCode::PageRetrieved:
        for (const auto& box : m_boxes) {
            box->HandleNotify(code, data);
        }
        break;
    case NotifyCode::AppDeactivated:
        EndDrag(true);
        break;
    case NotifyCode::DocOrderChanged:
        SortBoxes();
        break;
    }
}

QRect CWorkAreaView::InsetArea(const QRect& rect) const {
    return rect.adjusted(3, 3, -3, -3);
}

int CWorkAreaView::Layout(const QRect& area) {
    const int left = area.x();
    int x = left;
    int y = area.y();
    int rowHeight = 0;
    bool newRow = false;
    bool previousExpanded = false;
    const QRect visible = area.translated(0, scrollPos());
    for (const auto& boxPtr : m_boxes) {
        auto* box = static_cast<WorkAreaDoc*>(boxPtr.get());
        if (newRow || (previousExpanded && box->expanded())) {
            x = left;
            y = y + rowHeight + 6;
            rowHeight = 0;
            newRow = false;
        }
        box->LayoutDoc(left, area.width(), x, y, rowHeight, visible);
        if (box->wrapped) {
            newRow = true;
        }
        previousExpanded = box->expanded();
        if (rowHeight > 0 && lineStep() == 0) {
            SetLineStep(rowHeight);
        }
    }
    return y + rowHeight;
}

std::optional<QColor> CWorkAreaView::ControlBrush(QWidget* control, BaseDisplayBox* box) {
    if (qobject_cast<QCheckBox*>(control) == nullptr) {
        return std::nullopt;
    }
    const auto* work = static_cast<WorkAreaDoc*>(box);
    return QColor::fromRgba(work->expanded() ? kExpandedBrush : kCollapsedBrush);
}

std::optional<QColor> CWorkAreaView::ControlTextColour(QWidget* control, BaseDisplayBox* box) {
    const auto* work = static_cast<WorkAreaDoc*>(box);
    const WorkAreaDocDisplay* head = work->header();
    if (control != nullptr && control == head->rangeEdit && !head->RangeTextValid()) {
        return QColor::fromRgba(workcolours::kInvalidText);
    }
    return std::nullopt;
}

void CWorkAreaView::DrawEmptyText(QPainter& g) {
    const QRect client = ClientRect();
    const int m = (client.top() + Bottom(client)) / 2;
    g.save();
    g.setPen(QColor::fromRgba(kEmptyText));
    g.setFont(BoxFontVertical(14, true, this));
    g.drawText(EdgeRect(client.left(), client.top(), Right(client), m - 2),
               Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine,
               LoadResString(ids::IDS_EMPTY_AREA_TITLE));
    g.setFont(BoxFontVertical(12, false, this));
    g.drawText(EdgeRect(client.left(), m + 2, Right(client), Bottom(client)),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
               LoadResString(ids::IDS_EMPTY_AREA_HINT));
    g.restore();
}

void CWorkAreaView::OnDraw(QPainter& g, const QRect& clip) {
    if (m_boxes.empty()) {
        DrawEmptyText(g);
        return;
    }
    CBaseAreaView::OnDraw(g, clip);
}

// ---- Dragging documents -----------------------------------------------------------------------

bool CWorkAreaView::CanDrag() const {
    return m_boxes.size() >= 2;
}

bool CWorkAreaView::BeginDragHitTest(int x, int y) {
    for (const auto& boxPtr : m_boxes) {
        auto* box = static_cast<WorkAreaDoc*>(boxPtr.get());
        if (!box->HoverHitTest(x, y)) {
            continue;
        }
        m_draggedBox = box;
        const auto info = box->DragHitTest(x, y);
        if (info) {
            SetDragHotspot(info->hotspot);
            MakeDragImage(info->image, info->size.width(), info->size.height());
        } else {
            SetDragHotspot({});
            MakeDragImage(QImage(), 0, 0);
        }
        return true;
    }
    return false;
}

std::pair<WorkAreaDoc*, bool> CWorkAreaView::FindDropTarget() const {
    const QPoint p = dragPoint();
    const std::size_t n = m_boxes.size();
    for (std::size_t i = 0; i < n; ++i) {
        WorkAreaDoc* box = BoxAt(i);
        const auto hit = box->DropHitTest(p.x(), p.y());
        if (!hit.hit) {
            continue;
        }
        if (box == m_draggedBox) {
            return {nullptr, false};
        }
        if (hit.after) {
            if (i + 1 < n && BoxAt(i + 1) == m_draggedBox) {
                return {nullptr, false};
            }
            return {box, true};
        }
        if (i == 0) {
            return {box, false};
        }
        WorkAreaDoc* previous = BoxAt(i - 1);
        if (previous == m_draggedBox) {
            return {nullptr, false};
        }
        return {previous, true};
    }
    if (n == 0 || BoxAt(n - 1) == m_draggedBox) {
        return {nullptr, false};
    }
    return {BoxAt(n - 1), true};
}

void CWorkAreaView::UpdateDropTarget() {
    const auto [target, after] = FindDropTarget();
    if (target == m_dropTarget && after == m_dropAfter) {
        return;
    }
    if (m_dropTarget != nullptr && m_dropTarget != target) {
        m_dropTarget->SetDropMark(false, false);
    }
    m_dropTarget = target;
    m_dropAfter = after;
    if (target != nullptr) {
        target->SetDropMark(true, after);
    }
}

std::optional<QCursor> CWorkAreaView::DragCursor() {
    if (m_dropTarget != nullptr) {
        return LoadResCursor(ids::IDC_DROP_CURSOR);
    }
    return QCursor(Qt::ForbiddenCursor);
}

void CWorkAreaView::EndDrag(bool cancel) {
    if (m_dropTarget == nullptr || cancel || !dragging() || m_draggedBox == nullptr) {
        if (m_dropTarget != nullptr) {
            m_dropTarget->SetDropMark(false, false);
        }
        m_dropTarget = nullptr;
        m_draggedBox = nullptr;
        CMergeAreaView::EndDrag(cancel);
        return;
    }
    CDoc* afterDoc = nullptr;
    if (m_dropAfter) {
        afterDoc = m_dropTarget->doc;
    } else {
        for (std::size_t i = 1; i < m_boxes.size(); ++i) {
            if (m_boxes[i].get() == m_dropTarget) {
                afterDoc = m_boxes[i - 1]->doc;
                break;
            }
        }
    }
    CDoc* moved = m_draggedBox->doc;
    m_dropTarget->SetDropMark(false, false);
    m_dropTarget = nullptr;
    m_draggedBox = nullptr;
    CMergeAreaView::EndDrag(false);
    OnMoveDocument(moved, afterDoc);
}

void CWorkAreaView::ScrollBy(int delta) {
    CMergeAreaView::ScrollBy(delta);
    if (dragging()) {
        // The drop target follows the content under the pointer, even outside the window.
        MouseMoveAt(mapFromGlobal(GlobalPointerPos()));
    }
}

// ---- Files dropped from the desktop -----------------------------------------------------------

void CWorkAreaView::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CWorkAreaView::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CWorkAreaView::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    DropFiles(paths);
}

void CWorkAreaView::DropFiles(const QStringList& paths) {
    if (QWidget* top = window()) {
        top->activateWindow();
    }
    DocumentList* list = documents();
    if (list == nullptr) {
        return;
    }
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            continue; // unreadable entries are skipped silently
        }
        if (info.isDir()) {
            list->AddFolderContents(path);
        } else if (info.isFile()) {
            // Regular files only: opening a device or a pipe could block the window.
            list->AddDocument(path);
        }
    }
}

} // namespace plyfold
