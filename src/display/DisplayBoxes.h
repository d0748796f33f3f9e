#pragma once

// The boxes that both areas of the main window paint: one document box per document
// (BaseDisplayBox) holding page-sized boxes (PageDisplayBox), plus the shared pieces of drawing:
// fitting a page into the thumbnail square, painting a page image (or the loading text while the
// page service has not delivered it) and its frame, and the fonts of the box texts.
//
// Coordinates. Every box rectangle is kept in content coordinates, the coordinates of the
// unscrolled content; the view's client coordinates are content coordinates with scrollPos
// subtracted from y. Rectangles are QRects used as (left, top, width, height); Right() and Bottom()
// below give the exclusive right and bottom edges (QRect::right()/bottom() are inclusive).
//
// Child controls. A box creates its controls (flat image buttons, a range edit, check boxes) only
// while they lie in or near the visible part of the view (PlaceControls), as children of the view,
// with ids from the view's control registry; it releases them when they leave. Clicks, edits and
// focus changes come back through the view as OnControlClicked / OnEditChanged / OnEditFocusLost.
//
// Everything here runs on the user-interface thread. Painting never waits for the engine: page
// images are looked up without waiting, and a miss queues a render on the page service.

#include "work/EventNotify.h"

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QMenu;
class QPainter;
class QPaintDevice;
class QToolButton;
class QWidget;

namespace plyfold {

class CBaseAreaView;
class CDoc;
class PageDisplayBox;

// A rectangle from its exclusive edges (left, top, right, bottom).
inline QRect EdgeRect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}
// Exclusive right and bottom edges.
inline int Right(const QRect& r) {
    return r.x() + r.width();
}
inline int Bottom(const QRect& r) {
    return r.y() + r.height();
}

// Fixed colours of the box drawing.
namespace boxcolours {
inline constexpr QRgb kFrame = 0xFF333333;     // image frame and dark stack edges
inline constexpr QRgb kLightEdge = 0xFFFFFFFF; // light stack edges
inline constexpr QRgb kText = 0xFF000000;
} // namespace boxcolours

// Arial (or its metric twin Liberation Sans) at `points`, its pixel size converted with the
// device's horizontal resolution as the classic MulDiv(points, dpi, 72) rounds it.
QFont BoxFont(int points, bool bold, const QPaintDevice* device);
// Same with the device's vertical resolution (the empty-area and title-band texts).
QFont BoxFontVertical(int points, bool bold, const QPaintDevice* device);
// MulDiv(points, dpi, 72), rounded to nearest.
int PointsToPixels(int points, int dpi);

// The icon of the box buttons' picture buttonImages[imageIndex] (0 remove, 1 expand, 2 collapse):
// that picture at 1x, with sharper renderings of its drawing for screens of higher pixel ratio.
// A null icon when the picture is null or the index is out of range.
QIcon BoxButtonIcon(int imageIndex);

// Process-wide count of page images asked for with waiting (GetPageImage(true)) on the calling
// thread. Only the drag image of a header may wait; painting never does. Diagnostics and
// benchmarks.
int WaitingImageRequests();
void ResetWaitingImageRequests();

// A page thumbnail as assistive tools see it: a named image. `key` tells the thumbnails of one box
// apart (0 for a document's header picture, otherwise the page number); `rect` is in content
// coordinates.
struct AccessibleThumbnail {
    int key = 0;
    QRect rect;
    QString name;
};

// The box of one document in a view. The view owns its boxes; the document list owns the CDoc.
class BaseDisplayBox {
public:
    BaseDisplayBox(CBaseAreaView* view, CDoc* doc);
    BaseDisplayBox(const BaseDisplayBox&) = delete;
    BaseDisplayBox& operator=(const BaseDisplayBox&) = delete;
    virtual ~BaseDisplayBox();

    CDoc* const doc;           // not owned
    CBaseAreaView* const view; // not owned

    // Creates `button` as a visible flat image button (no text) on the view at `rect` (client
    // coordinates) with an id from the view's registry, showing buttonImages[imageIndex] on a face
    // of `face`. It takes the focus from the keyboard (Tab), not from a click. With sizeToContent
    // the button takes its own size, its top left corner at rect's; otherwise it takes `rect`
    // exactly. A tooltipId other than 0 sets that string as its tooltip (and accessible name,
    // until the box names it). False when the button cannot be made.
    virtual bool CreateButton(QToolButton*& button, const QRect& rect, int imageIndex,
                              const QColor& face, int tooltipId, bool sizeToContent);
    // Creates `edit` on the view at `rect` (client coordinates), framed, scrolling its text
    // sideways, limited to maxChars characters, in the dialog font, showing `text`.
    virtual bool CreateEdit(QLineEdit*& edit, const QRect& rect, const QString& text, int maxChars);
    // Creates `check` as an auto check box without text on the view at `rect` (client
    // coordinates), checked or not. Its tooltip text (GetControlToolText) is its accessible
    // description; the box gives it its name.
    bool CreateCheck(QCheckBox*& check, const QRect& rect, bool checked);
    // Destroys a child control of this box (if it exists) and frees its registry id.
    void ReleaseControl(QWidget* control);
    template <class T> void Release(T*& control) {
        ReleaseControl(control);
        control = nullptr;
    }

    // Paints the parts of the box that meet `clip` (content coordinates).
    virtual void Draw(QPainter& g, const QRect& clip) = 0;
    // A child button or check box of this box was clicked (the check box already shows its new
    // state).
    virtual void OnControlClicked(int controlId) { (void)controlId; }
    // The text of a child edit was changed by the user.
    virtual void OnEditChanged(int controlId) { (void)controlId; }
    // A child edit lost the keyboard focus.
    virtual void OnEditFocusLost(int controlId) { (void)controlId; }
    // Creates, moves or releases the child controls for the visible rectangle (content coords).
    virtual void PlaceControls(const QRect& visible) = 0;
    // Invalidates the part of the box that meets `visible` (content coordinates).
    virtual void InvalidateVisible(const QRect& visible) = 0;
    // Reacts to one notification.
    virtual void HandleNotify(NotifyCode code, NotifyData payload) {
        (void)code;
        (void)payload;
    }
    // Tool id under the content point (0 = none) and the tool's rectangle in client coordinates.
    virtual int ToolHitTest(int x, int y, QRect* rect) {
        (void)x;
        (void)y;
        (void)rect;
        return 0;
    }
    virtual QString GetToolText(int toolId) {
        (void)toolId;
        return {};
    }
    // Tooltip text of one of the box's child controls; empty shows none.
    virtual QString GetControlToolText(QWidget* control) {
        (void)control;
        return {};
    }
    // Context-menu id for the content point (0 = none) and the page box under it (or null).
    virtual int MenuHitTest(int x, int y, PageDisplayBox** item) {
        (void)x;
        (void)y;
        (void)item;
        return 0;
    }
    // The box's controls that exist, in the order Tab visits them.
    virtual void AppendFocusOrder(std::vector<QWidget*>& order) const { (void)order; }
    // The thumbnails of the box that have a place and meet `visible` (content coordinates).
    virtual void AppendThumbnails(std::vector<AccessibleThumbnail>& out,
                                  const QRect& visible) const {
        (void)out;
        (void)visible;
    }
    // Enables, disables or checks the items (QAction data = command id) before the menu shows.
    virtual void PrepareMenu(QMenu& menu, PageDisplayBox* item) {
        (void)menu;
        (void)item;
    }
    // Carries out the chosen command; `item` is the one MenuHitTest returned.
    virtual void OnMenuCommand(int commandId, PageDisplayBox* item) {
        (void)commandId;
        (void)item;
    }
    // The content point lies on the box's drag handle.
    virtual bool HoverHitTest(int x, int y) {
        (void)x;
        (void)y;
        return false;
    }
    // Switches the hover look; returns a cursor to show, or none.
    virtual std::optional<QCursor> SetHover(bool on, const QRect& visible) {
        (void)on;
        (void)visible;
        return std::nullopt;
    }
};

// A page-sized box inside a document box, showing one page of the owner's document.
class PageDisplayBox {
public:
    PageDisplayBox(BaseDisplayBox* owner, int page);
    PageDisplayBox(const PageDisplayBox&) = delete;
    PageDisplayBox& operator=(const PageDisplayBox&) = delete;
    virtual ~PageDisplayBox();

    // Forgets the position, so that the next layout places the box anew (the image stays).
    virtual void ResetPosition() { rect = QRect(); }
    // The image of `page` from the page service, made for screens of device pixel ratio `ratio`.
    // Without `wait` it never blocks: the cached image, or a null image after queueing a render.
    // With `wait` it renders at once on a miss.
    virtual QImage GetPageImage(bool wait, qreal ratio = 1.0);

    int page;              // 1-based
    QImage image;          // cached page image, null until delivered; carries its pixel ratio
    BaseDisplayBox* owner; // not owned
    QRect rect;            // content coordinates; null until the first layout
    // `image` scaled to the size it was last drawn at, in the device pixels of the screen it was
    // drawn on, so that a repaint only copies pixels.
    QPixmap scaled;
    qint64 scaledKey = 0; // cacheKey of the image `scaled` was made from
};

// Width-to-height ratio of a page of the document (rotation applied); 0 when unknown.
double PageAspect(const CDoc* doc, int page);

// The page's size fitted into the S x S square (S = thumbnailSize): S x S when the aspect is
// unknown, S wide for a landscape page (aspect > 1), S high otherwise; the other edge truncated.
QSize FitImage(double aspect);
QSize FitImage(const CDoc* doc, int page);

// The fitted image centred in the S x S square whose top-left corner is `origin`.
QRect ImageRect(const QPoint& origin, const QSize& fitted);

// Paints the box's page image scaled into `rect`, fetching it without waiting when the box has
// none yet, or none made for the pixel ratio of the painter's device (the image of another ratio
// is shown meanwhile); while there is none, paints the loading text centred in `rect`. The scaled
// copy is kept in the box until the image, the size or the ratio changes.
void DrawPageImage(PageDisplayBox& box, const QRect& rect, QPainter& g);

// The 1-pixel ARGB 0xFF333333 ring just outside the image rectangle.
void DrawImageFrame(QPainter& g, const QRect& imageRect);

// The file name of a path: the part after the last backslash or slash.
QString FileNameOf(const QString& path);

} // namespace plyfold
