#pragma once

// The output area's section of one document: a header bar (expand button, file name, page count)
// and, while expanded, one box per chosen page in ascending order, each with its thumbnail, its
// caption and a button that takes the page out of the output.
//
// Geometry, with W the width of the layout area, S = thumbnailSize and A = W - 56 the width
// available to an image: the header is (3, y + 3) to (W - 3, y + 34); a page box is (20, y) to
// (W - 24, y + h + 28), its image w x h at (26 + (A - w) / 2, y + 6), the caption 20 pixels high
// under the image and the remove button (box right - 26, image bottom + 2) to (box right - 3,
// box bottom). Page boxes follow each other 6 pixels apart. The column is one box wide: every
// page is scaled to fit A and S and centred.
//
// The section keeps its page boxes in step with the document's chosen pages (SyncPages) whether
// it is expanded or not; boxes of pages that stay chosen keep their cached image and position.

#include "display/DisplayBoxes.h"

#include <memory>
#include <vector>

namespace plyfold {

class OutputAreaDocDisplay;

// Fixed colours of the output area.
namespace outputcolours {
inline constexpr QRgb kHeader = 0xFFDCDCDC; // header bar, the band behind the pages, expand button
inline constexpr QRgb kPage = 0xFFF5F5F5;   // page boxes, remove buttons, the view's background
} // namespace outputcolours

// The tool id of a section's header bar (its tooltip is the document's full path).
inline constexpr int kOutputHeaderToolId = 1;

// One page of a section.
class OutputAreaPageDisplay : public PageDisplayBox {
public:
    OutputAreaPageDisplay(OutputAreaDocDisplay* owner, int page);
    ~OutputAreaPageDisplay() override;

    OutputAreaDocDisplay* section() const;

    // Paints the box, its image (or the loading text), the image frame and the caption.
    void Draw(QPainter& g, const QRect& clip);
    // The caption rectangle (content coordinates): under the image, as wide as it, 20 high.
    QRect CaptionRect() const;
    // The remove button's rectangle (content coordinates).
    QRect RemoveButtonRect() const;
    // "Page: %d" with this box's page.
    QString CaptionText() const;

    QRect imageRect;                     // content coordinates
    QToolButton* removeButton = nullptr; // exists only while expanded and visible
};

// The size of the image of a page whose aspect is `aspect` (0: unknown) in a column whose image
// width is `available` (A), for thumbnail size `thumb` (S). Never negative.
QSize FitOutputImage(double aspect, int available, int thumb);

// The file name drawn in `width` pixels: whole when it fits, otherwise cut after the last word
// that fits, followed by an ellipsis. When that cut would leave more than a third of the width
// empty (a long word after a short one: "enc-XI-R6,V5,O=master.pdf" would show as "enc-XI-…"),
// or not even the first word fits, the name is cut inside a word instead, as far as it fits.
QString TrimAtWord(const QString& text, const QFontMetrics& metrics, int width);

class OutputAreaDocDisplay : public BaseDisplayBox {
public:
    // One page box for every chosen page of the document, ascending; collapsed.
    OutputAreaDocDisplay(CBaseAreaView* view, CDoc* doc);
    ~OutputAreaDocDisplay() override;

    QRect headerRect; // content coordinates
    QRect pagesRect;  // below the header, holds the page boxes (meaningful while expanded)
    QToolButton* expandButton = nullptr;
    std::vector<std::unique_ptr<OutputAreaPageDisplay>> pages; // ascending by page
    bool expanded = false;
    bool controlsStale = false; // the controls must be placed again at the next layout

    // Number of pages the document contributes: its chosen pages while it is included.
    int PageCount() const;
    // "%upg." with PageCount().
    QString CountText() const;
    // The page box of `page`, or null.
    OutputAreaPageDisplay* FindPage(int page) const;
    // The page box under the content point, or null (whatever the expanded state).
    OutputAreaPageDisplay* PageAt(int x, int y) const;
    QRect ExpandButtonRect() const; // content coordinates

    // Lays the section out from y in a layout area `width` wide and returns the y after it; places
    // the controls for `visible` when the header or the page band moved or controls are stale.
    int SectionLayout(int y, int width, const QRect& visible);
    // Places one page box at y and returns its bottom. A box that already has the column's width
    // is only moved vertically.
    int PageLayout(int y, OutputAreaPageDisplay& box, int width);

    // Brings the page boxes in step with the chosen pages: boxes of pages that stay are kept,
    // boxes of pages that left are deleted, new pages get new boxes. True when anything changed.
    bool SyncPages();
    // Expands or collapses the section as its button does.
    void SetExpanded(bool expand);
    // Forgets every page box's position (after a thumbnail size change).
    void ResetPagePositions();

    void Draw(QPainter& g, const QRect& clip) override;
    void OnControlClicked(int controlId) override;
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

private:
    void DrawHeader(QPainter& g, const QRect& clip);
    // Asks the view to take the page out of the document's chosen pages once the current event
    // has been handled.
    void PostRemovePage(int page);
    // The content rectangle in client coordinates.
    QRect ToClient(const QRect& content) const;
    void UpdateExpandButton();
};

} // namespace plyfold
