#pragma once

// The scrolling views of the two areas of the main window.
//
// CBaseAreaView holds the document boxes of one area (display/DisplayBoxes.h), lays them out,
// scrolls them vertically, paints them, keeps the registry of their child controls (ids from 100)
// and routes the controls' clicks, edits and focus changes to their owner box, gives them their
// background colours, shows tooltips and context menus for the boxes, and runs the drag of a box
// with a drag image painted under the pointer. CMergeAreaView adds what both areas share with the
// document list: moving a document after a drop, removing a document on the posted message
// "Plyfold::RemoveDoc", keeping the boxes in list order, and opening Add File on a click while the
// list is empty.
//
// A derived view supplies Layout (where the boxes go; returns the content height) and, as needed,
// InsetArea, ControlBrush/ControlTextColour, OnDraw, and the drag hooks (CanDrag,
// BeginDragHitTest, UpdateDropTarget, EndDrag, DragCursor).
//
// Coordinates: the client area is the widget less the vertical scroll bar while it shows; box
// rectangles are content coordinates (client y + scrollPos). User-interface thread only.
//
// Where to look: layout, painting, tooltips and the mouse are in CBaseAreaView.cpp; the control
// registry in AreaControls.h/.cpp, scrolling and the scroll bar in AreaScrolling.h/.cpp, the drag
// state and its auto-scroll in AreaDrag.h/.cpp, the context menus in AreaMenus.cpp, and
// CMergeAreaView in CMergeAreaView.cpp.

#include "display/AreaControls.h"
#include "display/AreaDrag.h"
#include "display/AreaScrolling.h"
#include "display/DisplayBoxes.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QScrollBar;

namespace plyfold {

class DocumentList;

class CBaseAreaView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFirstControlId = AreaControls::kFirstControlId;
    static constexpr int kAutoScrollMs = AreaDrag::kAutoScrollMs;

    explicit CBaseAreaView(QWidget* parent = nullptr);
    ~CBaseAreaView() override;

    // The child window that shows the content and holds the boxes' controls: it covers the client
    // rectangle, so scrolling moves its pixels and its controls together. Its coordinates are the
    // view's client coordinates.
    QWidget* ControlParent() const { return m_canvas; }

    // Window background; the default is the system window colour.
    void SetBackgroundColour(const QColor& colour);
    QColor backgroundColour() const { return m_background; }

    // ---- What the boxes use -------------------------------------------------------------------
    int scrollPos() const { return m_scrollPos; }
    int contentHeight() const { return m_contentHeight; }
    int lineStep() const { return m_lineStep; }
    // The lowest free id (100 + index) for a new child control of `box`, recording box as its
    // owner and `control` as the window. Connects the control's clicks (QAbstractButton),
    // user edits and focus loss (QLineEdit) and its tooltip requests to the owner box.
    int RegisterControl(BaseDisplayBox* box, QWidget* control) {
        return m_controls->Register(box, control);
    }
    // Destroys the control window and frees its id when it belongs to the registry; a control
    // not in the registry is destroyed all the same. Null does nothing.
    void ReleaseControl(QWidget* control) { m_controls->Release(control); }
    // The owner box / window of a registry id; null for a free or unknown id.
    BaseDisplayBox* ControlOwner(int id) const { return m_controls->Owner(id); }
    QWidget* ControlWindow(int id) const { return m_controls->Window(id); }
    // Registry id of a control window; 0 when it has none.
    int ControlId(const QWidget* control) const { return m_controls->IdOf(control); }
    // Number of registry entries (free entries included) and of live controls.
    int RegistrySize() const { return m_controls->size(); }
    int LiveControlCount() const { return m_controls->LiveCount(); }
    // Applies ControlBrush / ControlTextColour to one registered control (the boxes call it when
    // their state changes, as the classic WM_CTLCOLOR would ask again at the next paint).
    void UpdateControlColours(QWidget* control);
    // Sets a control's tooltip and its accessible name to `text`.
    static void SetControlTip(QWidget* control, const QString& text);

    // Invalidates what of the box lies in the visible part.
    virtual void InvalidateBox(BaseDisplayBox* box);
    // Invalidates a rectangle given in content coordinates (`erase` is kept for the callers'
    // intent; every repaint here starts from the background).
    virtual void InvalidateContentRect(const QRect& rect, bool erase);
    // Invalidates the whole visible content. The boxes are painted by the content window
    // (ControlParent), so a repaint asked of the view widget itself (QWidget::update) would not
    // reach them; this is the call for "paint everything again".
    void InvalidateAll();
    // Lays out all boxes again in the client area, updates the scroll bar and invalidates the
    // visible content. Inside a layout batch it only notes that a layout is due; the batch's end
    // runs it once.
    virtual void Relayout();
    void BeginLayoutBatch() { ++m_layoutBatch; }
    void EndLayoutBatch();

    // ---- Boxes --------------------------------------------------------------------------------
    const std::vector<std::unique_ptr<BaseDisplayBox>>& boxes() const { return m_boxes; }
    BaseDisplayBox* FindBox(const CDoc* doc) const;
    bool HoldsBox(const BaseDisplayBox* box) const;
    // Appends a box (taking it), lays out again and invalidates everything.
    void AppendBox(std::unique_ptr<BaseDisplayBox> box);
    // Inserts a box at `index` (clamped), lays out again and invalidates everything.
    void InsertBox(std::size_t index, std::unique_ptr<BaseDisplayBox> box);
    // Destroys the box of `doc` (none: nothing) with its windows, frees its registry ids, lays out
    // again and invalidates everything.
    virtual void RemoveBox(CDoc* doc);
    // Moves a document after a drop; the base does nothing.
    virtual void OnMoveDocument(CDoc* doc, CDoc* afterDoc);

    // ---- Layout and scrolling -----------------------------------------------------------------
    // The client rectangle: the widget less the vertical scroll bar while it shows.
    QRect ClientRect() const;
    // The layout area of the client rectangle (InsetArea) in content coordinates.
    QRect VisibleContentRect() const;
    bool ScrollBarShown() const { return m_scrollBar->shown(); }
    QScrollBar* verticalBar() const { return m_scrollBar->bar(); }
    // Carries out one vertical scroll request (AreaScrolling.h) while the content is at least as
    // high as the client area. The main view sends one line step per mouse-wheel turn to the
    // area under the pointer.
    void OnVScroll(const ScrollRequest& request);
    // Scrolls the content by `delta` pixels (positive: down), moves the pixels, places the child
    // controls for the new visible part and refreshes the hover look.
    virtual void ScrollBy(int delta);

    // ---- Dragging -----------------------------------------------------------------------------
    bool dragging() const { return m_drag->active(); }
    QPoint dragPoint() const { return m_drag->point(); }
    QPoint dragHotspot() const { return m_drag->hotspot(); }
    const QImage& dragImage() const { return m_drag->image(); }
    bool autoScrollRunning() const { return m_drag->autoScrollRunning(); }
    // Ends a drag; `cancel` drops nothing.
    virtual void EndDrag(bool cancel);

    // ---- Context menus ------------------------------------------------------------------------
    // Shows a prepared menu at a screen point and returns the chosen action (or null). Tests
    // replace it to choose an item without a nested event loop; empty restores QMenu::exec.
    using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
    static void SetMenuRunner(MenuRunner runner);
    // Builds menu `menuId` (QAction data = command id) as the boxes see it.
    static std::unique_ptr<QMenu> BuildMenu(int menuId, QWidget* parent);
    static QAction* FindMenuAction(QMenu& menu, int commandId);
    // The context-menu logic at a client point (what a right click does).
    void ShowContextMenu(const QPoint& clientPos, const QPoint& globalPos);

    // The mouse logic at a client point, as the mouse handlers run it (tests drive a drag with
    // these where the platform's pointer cannot be moved).
    void MouseMoveAt(const QPoint& clientPos);
    void LeftButtonDownAt(const QPoint& clientPos);
    virtual void LeftButtonUpAt(const QPoint& clientPos);
    // Runs the mouse-move logic at the pointer when it is inside the client rectangle.
    virtual void RefreshHover();

protected:
    virtual void UpdateLayout(QRect area);
    // Shrinks the client rectangle to the layout area; the base keeps it.
    virtual QRect InsetArea(const QRect& rect) const { return rect; }
    // Places the boxes in `area` (content coordinates) and returns the content height.
    virtual int Layout(const QRect& area);
    // Background colour of a registered control; none keeps the default look.
    virtual std::optional<QColor> ControlBrush(QWidget* control, BaseDisplayBox* box);
    // Text colour of a registered control; none keeps the default.
    virtual std::optional<QColor> ControlTextColour(QWidget* control, BaseDisplayBox* box);
    // Paints the boxes that meet `clip` (content coordinates; the painter is translated).
    virtual void OnDraw(QPainter& g, const QRect& clip);

    virtual bool CanDrag() const { return false; }
    // Content point: starts a drag of the box there (sets dragHotspot and the drag image).
    virtual bool BeginDragHitTest(int x, int y);
    virtual void StartDrag();
    virtual void UpdateDropTarget() {}
    virtual std::optional<QCursor> DragCursor() { return std::nullopt; }
    // Keeps `image` scaled to w x h as the drag image (white shows through); none: no image.
    virtual void MakeDragImage(const QImage& image, int w, int h);
    // Screen position of the pointer (virtual so a test can stand in for the platform).
    virtual QPoint GlobalPointerPos() const;

    void SetDragHotspot(const QPoint& hotspot) { m_drag->SetHotspot(hotspot); }
    void SetLineStep(int step) { m_lineStep = step; }
    // Every box places its controls for the visible part.
    void PlaceAllControls();
    // Removes the box at `index` (its windows and registry ids go with it), no relayout.
    void DestroyBoxAt(std::size_t index);

    void paintEvent(QPaintEvent* event) override;
    // Paints the content window (the boxes, then the drag image).
    virtual void PaintContent(QPaintEvent* event);
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    std::vector<std::unique_ptr<BaseDisplayBox>> m_boxes;

private:
    class Canvas;
    friend class Canvas;
    friend class AreaDrag; // reads the pointer through GlobalPointerPos

    // Mirrors the scroll position and content height into the scroll bar.
    void SyncBar();

    QColor m_background;
    int m_scrollPos = 0;
    QRect m_placedVisible; // the visible content rectangle controls were last placed for
    int m_contentHeight = 0;
    int m_lineStep = 0;
    int m_layoutBatch = 0;
    bool m_layoutDue = false;
    QWidget* m_canvas = nullptr; // a Canvas
    QString m_toolText;
    // Helpers owned by the view (as its QObject children).
    AreaControls* m_controls = nullptr;
    AreaScrollBar* m_scrollBar = nullptr;
    AreaDrag* m_drag = nullptr;
};

// The area views that show the documents of the document list.
class CMergeAreaView : public CBaseAreaView {
    Q_OBJECT
public:
    using CommandSink = std::function<void(int commandId)>;

    // `documents` must outlive the view.
    explicit CMergeAreaView(DocumentList* documents, QWidget* parent = nullptr);
    ~CMergeAreaView() override;

    DocumentList* documents() const { return m_documents; }
    // Where application commands go (the main frame); a click in an empty area sends Add File
    // (32772) there.
    void SetCommandSink(CommandSink sink) { m_commandSink = std::move(sink); }

    // Posts "Plyfold::RemoveDoc" for `doc` to `view` (a button or menu of the document's box asks
    // for its removal; the box must not go while its own control's click is being handled).
    static void PostRemoveDoc(QObject* view, CDoc* doc);

    // Moves the document right after afterDoc (null: to the front) in the document list.
    void OnMoveDocument(CDoc* doc, CDoc* afterDoc) override;
    // Puts the boxes in the order of the document list, lays out again and invalidates.
    void SortBoxes();
    // A click released in the view: Add File first while the list is empty, then the drag end.
    void LeftButtonUpAt(const QPoint& clientPos) override;

protected:
    bool event(QEvent* event) override;
    // Carries out "Plyfold::RemoveDoc" (the document is removed only if the list still holds it).
    virtual void OnRemoveDocMessage(CDoc* doc);
    void SendCommand(int commandId);

private:
    DocumentList* m_documents;
    CommandSink m_commandSink;
};

} // namespace plyfold
