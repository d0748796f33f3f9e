#pragma once

// The drag of a box inside an area view.
//
// AreaDrag keeps the state of one drag: the content point under the pointer, the drag image with
// its hotspot (the image's offset from the pointer), where the image was last painted, and the
// auto-scroll timer, which scrolls the view a line every kAutoScrollMs while the pointer is above
// or below the view. The view decides when a drag starts and ends (CanDrag, BeginDragHitTest,
// StartDrag, EndDrag, UpdateDropTarget, DragCursor; see CBaseAreaView.h) and paints the image over
// its content with Paint.

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>

class QPainter;
class QTimer;

namespace plyfold {

class CBaseAreaView;

class AreaDrag : public QObject {
    Q_OBJECT
public:
    static constexpr int kAutoScrollMs = 300;

    explicit AreaDrag(CBaseAreaView* view);

    bool active() const { return m_active; }
    QPoint point() const { return m_point; }
    QPoint hotspot() const { return m_hotspot; }
    const QImage& image() const { return m_image; }
    bool autoScrollRunning() const;

    void SetHotspot(const QPoint& hotspot) { m_hotspot = hotspot; }
    // Keeps `image` scaled to w x h as the drag image, with white made transparent; a null image
    // or an empty size leaves no image.
    void SetImage(const QImage& image, int w, int h);

    // The content point under the pointer; SetPoint moves it without repainting.
    void SetPoint(const QPoint& at) { m_point = at; }
    // Starts the drag at the current point; `autoScroll` starts the auto-scroll timer.
    void Start(bool autoScroll);
    // Moves the drag to content point `at`; false when the point is unchanged.
    bool MoveTo(const QPoint& at);
    // Repaints where the drag image was last painted and where it goes now.
    void RepaintImage();
    void StopAutoScroll();
    // Stops the auto-scroll timer and, during a drag, takes the image off the screen and ends
    // the drag; returns whether a drag was running.
    bool End();
    // Forgets a drag whose button release never arrived (the caller repaints everything).
    void Abandon();

    // Paints the drag image during a drag over the content window's painter (client
    // coordinates) and remembers where.
    void Paint(QPainter& g);

private:
    void OnAutoScrollTimer();
    QRect ImageClientRect() const;

    CBaseAreaView* m_view;
    QTimer* m_scrollTimer;
    bool m_active = false;
    QImage m_image;
    QPoint m_point;
    QPoint m_hotspot;
    QRect m_imageShownAt; // client rectangle where the drag image was last painted
};

} // namespace plyfold
