#pragma once

// The work area: every document of the list as a WorkAreaDoc, flowing left to right in rows.
// It accepts files and folders dropped from the desktop (files are added as documents, folders
// through DocumentList::AddFolderContents), shows two lines of text while it is empty, and lets the
// user reorder documents by dragging their headers (two or more documents).
//
// The main view passes every notification to Notify. Window background RGB(245, 245, 245).

#include "display/CBaseAreaView.h"
#include "work/EventNotify.h"

#include <QStringList>

namespace plyfold {

class WorkAreaDoc;

class CWorkAreaView : public CMergeAreaView, public EventNotify {
    Q_OBJECT
public:
    static constexpr QRgb kBackground = 0xFFF5F5F5;
    static constexpr QRgb kCollapsedBrush = 0xFFDCDCDC;
    static constexpr QRgb kExpandedBrush = 0xFFB0C4DE;
    static constexpr QRgb kEmptyText = 0xFF696969;

    explicit CWorkAreaView(DocumentList* documents, QWidget* parent = nullptr);
    ~CWorkAreaView() override;

    // DocAdded: a new box; DocRemoved: its box goes; DocIncludedChanged, DocRangesChanged: the
    // document's box; ThumbSizeChanged, PageRetrieved: every box; AppDeactivated: cancels a drag;
    // DocOrderChanged: the boxes follow the list.
    void Notify(NotifyCode code, NotifyData data) override;

    WorkAreaDoc* BoxOf(const CDoc* doc) const;
    WorkAreaDoc* BoxAt(std::size_t index) const;

    // The view's accessible name: the empty area's invitation ("Choose files or folders to
    // merge") while it holds no document, and what it holds otherwise.
    void UpdateAccessibleName();

    // Dropped desktop entries, in the order given: existing files are added as documents,
    // folders through AddFolderContents; anything else is skipped. Activates the top-level window
    // first.
    void DropFiles(const QStringList& paths);

    // Drag state (for the command bar and tests).
    WorkAreaDoc* draggedBox() const { return m_draggedBox; }
    WorkAreaDoc* dropTarget() const { return m_dropTarget; }
    bool dropAfter() const { return m_dropAfter; }
    // Where a drop at the current dragPoint would land: (target, after); no target: null.
    std::pair<WorkAreaDoc*, bool> FindDropTarget() const;

    void EndDrag(bool cancel) override;
    void ScrollBy(int delta) override;

    // The check state the view's command update gives command 32791 ("Use this page in merge").
    bool UsePageCommandChecked() const { return m_contextPageChosen; }
    void SetContextPageChosen(bool chosen) { m_contextPageChosen = chosen; }

protected:
    QRect InsetArea(const QRect& rect) const override;
    int Layout(const QRect& area) override;
    std::optional<QColor> ControlBrush(QWidget* control, BaseDisplayBox* box) override;
    std::optional<QColor> ControlTextColour(QWidget* control, BaseDisplayBox* box) override;
    void OnDraw(QPainter& g, const QRect& clip) override;

    bool CanDrag() const override;
    bool BeginDragHitTest(int x, int y) override;
    void UpdateDropTarget() override;
    std::optional<QCursor> DragCursor() override;

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void DrawEmptyText(QPainter& g);

    WorkAreaDoc* m_draggedBox = nullptr;
    WorkAreaDoc* m_dropTarget = nullptr;
    bool m_dropAfter = false;
    bool m_contextPageChosen = false;
};

} // namespace plyfold
