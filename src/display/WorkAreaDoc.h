#pragma once

// The work area's box of one document: a header (file name, page count, stacked page edges, the
// range edit, the "included" check box, the remove and expand buttons) and, while the document is
// expanded, one box per page with a check box that chooses the page for the output. The boxes flow
// left to right and wrap into rows (CWorkAreaView::Layout places them through LayoutDoc).
//
// Sizes, with S = thumbnailSize: a collapsed header is (S + 39) x (S + 63), an expanded one
// (S + 45) x (S + 63), a page box (S + 14) x (S + 34); the image square starts at (7, 51) in a
// header and at (7, 27) in a page box.

#include "display/DisplayBoxes.h"

#include <memory>
#include <vector>

namespace plyfold {

class WorkAreaDoc;

// Header state colours (also the face of the header's two buttons).
namespace workcolours {
inline constexpr QRgb kCollapsed = 0xFFDCDCDC;
inline constexpr QRgb kExpanded = 0xFFB0C4DE;
inline constexpr QRgb kHoverCollapsed = 0xFFF0F0F0;
inline constexpr QRgb kHoverExpanded = 0xFFC0D6F2;
inline constexpr QRgb kBand = 0xFFB0C4DE;
inline constexpr QRgb kSeparator = 0xFF778899;
inline constexpr QRgb kDropMark = 0xFF444444;
inline constexpr QRgb kInvalidText = 0xFFFF0000;
} // namespace workcolours

// Base of the two work-area page-sized boxes.
class WorkAreaDisplay : public PageDisplayBox {
public:
    WorkAreaDisplay(WorkAreaDoc* owner, int page);

    WorkAreaDoc* workDoc() const;

    virtual void Draw(QPainter& g, const QRect& clip) = 0;
    virtual QSize GetSize() const = 0;
    // True when the id is one of this box's controls (and it acted on the click).
    virtual bool OnControlClicked(int controlId) = 0;
    // Sets the check boxes from the model.
    virtual void SyncCheck() = 0;
    virtual void PlaceControls(const QRect& visible) = 0;
    // Moves the box to (x, y) unless its top-left corner is there already; then places controls.
    virtual void SetPosition(int x, int y, const QRect& visible);
    // Invalidates the whole box (with erase) when it meets `visible`.
    virtual void InvalidateVisible(const QRect& visible);
    virtual QString GetControlToolText(QWidget* control) = 0;
    // Context-menu id when the content point lies in the box (0 = none).
    virtual int MenuHitTest(int x, int y);
    virtual void PrepareMenu(QMenu& menu) = 0;
    virtual void OnMenuCommand(int commandId) = 0;
    // Top-left corner of the S x S image square, content coordinates.
    virtual QPoint GetImageOrigin() const = 0;

    // The page image rectangle (fitted and centred in the square), content coordinates.
    QRect ImageRect() const;
    // A control rectangle (content coordinates) in client coordinates.
    QRect ToClient(const QRect& content) const;
};

// The header of a document (shows page 1).
class WorkAreaDocDisplay : public WorkAreaDisplay {
public:
    explicit WorkAreaDocDisplay(WorkAreaDoc* owner);
    ~WorkAreaDocDisplay() override;

    void Draw(QPainter& g, const QRect& clip) override;
    QSize GetSize() const override;
    bool OnControlClicked(int controlId) override;
    void SyncCheck() override;
    void PlaceControls(const QRect& visible) override;
    QString GetControlToolText(QWidget* control) override;
    int MenuHitTest(int x, int y) override;
    void PrepareMenu(QMenu& menu) override;
    void OnMenuCommand(int commandId) override;
    QPoint GetImageOrigin() const override;

    // Control rectangles in content coordinates.
    QRect RangeEditRect() const;
    QRect IncludeCheckRect() const;
    QRect RemoveButtonRect() const;
    QRect TitleToolRect() const;
    // The page-count text, "(12p)" for 12 pages.
    QString PageCountText() const;

    // Sets the face colour of both buttons to the document's state colour.
    void UpdateButtonFaces();
    // Refreshes the range text after the ranges changed (see WorkAreaDoc::HandleNotify).
    void RefreshRangeText();
    // Whether the range edit's text is valid for the document (red when not).
    bool RangeTextValid() const;
    // Gives the header's controls that exist their accessible names and descriptions: what each
    // one is and the document it belongs to; the descriptions are the tooltip texts.
    void NameControls();

    QLineEdit* rangeEdit = nullptr;
    QCheckBox* includeCheck = nullptr;
    QToolButton* removeButton = nullptr;
    QToolButton* expandButton = nullptr;
    // Set by the menu commands so the next ranges change replaces the text even while the user
    // has the edit focused.
    bool rangeTextForced = false;
};

// One page of an expanded document.
class WorkAreaPageDisplay : public WorkAreaDisplay {
public:
    WorkAreaPageDisplay(WorkAreaDoc* owner, int page);
    ~WorkAreaPageDisplay() override;

    void Draw(QPainter& g, const QRect& clip) override;
    QSize GetSize() const override;
    bool OnControlClicked(int controlId) override;
    void SyncCheck() override;
    void PlaceControls(const QRect& visible) override;
    QString GetControlToolText(QWidget* control) override;
    int MenuHitTest(int x, int y) override;
    void PrepareMenu(QMenu& menu) override;
    void OnMenuCommand(int commandId) override;
    QPoint GetImageOrigin() const override;

    QRect PageCheckRect() const;
    // The caption drawn for the page, given the width available for it.
    QString CaptionFor(int availableWidth, const QFont& font) const;
    QRect CaptionRect() const;

    QCheckBox* pageCheck = nullptr;
};

// Result of a drag hit test on a header.
struct DragInfo {
    QImage image;   // the header's page image (rendered at once if need be)
    QSize size;     // size of the header's image rectangle
    QPoint hotspot; // offset from the pointer to the image's top-left corner (<= 0)
};

// The work-area box of one document.
class WorkAreaDoc : public BaseDisplayBox {
public:
    // Builds the header; the document starts collapsed.
    WorkAreaDoc(CBaseAreaView* view, CDoc* doc);
    ~WorkAreaDoc() override;

    // Element 0 is the header; the page boxes follow while expanded.
    std::vector<std::unique_ptr<WorkAreaDisplay>> children;
    bool wrapped = false;
    bool hovered = false;
    bool dropMarkShown = false;
    bool dropMarkAfter = false;
    // Whether the last context menu of a page box found its page chosen.
    bool contextPageChosen = false;

    WorkAreaDocDisplay* header() const;
    bool expanded() const { return children.size() > 1; }
    int PageCount() const;
    // The state colour: collapsed/expanded, hovered or not.
    QColor StateColour() const;
    // Bottom of the last child (content coordinates).
    int LastBottom() const;
    int LastRight() const;

    // Expands (one page box per page) or collapses, then lays the view out again; as the expand
    // button does.
    void SetExpanded(bool expand);

    // Places this document's children from (x, y) in an area of width areaWidth whose left edge
    // is areaLeft, wrapping as needed; moves x, y and rowHeight on.
    void LayoutDoc(int areaLeft, int areaWidth, int& x, int& y, int& rowHeight,
                   const QRect& visible);

    void Draw(QPainter& g, const QRect& clip) override;
    void OnControlClicked(int controlId) override;
    void OnEditChanged(int controlId) override;
    void OnEditFocusLost(int controlId) override;
    void PlaceControls(const QRect& visible) override;
    void InvalidateVisible(const QRect& visible) override;
    void HandleNotify(NotifyCode code, NotifyData payload) override;
    int ToolHitTest(int x, int y, QRect* rect) override;
    QString GetToolText(int toolId) override;
    QString GetControlToolText(QWidget* control) override;
    int MenuHitTest(int x, int y, PageDisplayBox** item) override;
    void PrepareMenu(QMenu& menu, PageDisplayBox* item) override;
    void OnMenuCommand(int commandId, PageDisplayBox* item) override;
    void AppendFocusOrder(std::vector<QWidget*>& order) const override;
    void AppendThumbnails(std::vector<AccessibleThumbnail>& out,
                          const QRect& visible) const override;
    bool HoverHitTest(int x, int y) override;
    std::optional<QCursor> SetHover(bool on, const QRect& visible) override;

    // The header under the content point: its page image (rendered at once), the image size and
    // the hotspot that keeps the pointer's place in the image. None outside the header.
    std::optional<DragInfo> DragHitTest(int x, int y);
    // Whether a drop at the content point lands on this document, and on which side.
    struct DropHit {
        bool hit = false;
        bool after = false;
    };
    DropHit DropHitTest(int x, int y) const;
    void SetDropMark(bool on, bool after);
    // The drop mark's rectangle for a side, content coordinates.
    QRect DropMarkRect(bool after) const;

private:
    void DrawBand(QPainter& g, const QRect& clip);
    void DrawDropMark(QPainter& g);
    bool OwnsChild(const PageDisplayBox* item) const;
};

} // namespace plyfold
