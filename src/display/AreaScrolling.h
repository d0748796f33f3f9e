#pragma once

// Vertical scrolling of an area view.
//
// A scroll request is either a step (a line or a page up or down, the top) or a jump to a content
// position (the scroll-bar thumb, a control taking the focus). CBaseAreaView::OnVScroll carries
// one out; its body and ScrollBy live in AreaScrolling.cpp with AreaScrollBar, the view's vertical
// bar, which shows the view's position and turns the user's actions on the bar into requests.

#include <QObject>
#include <QRect>

#include <variant>

class QScrollBar;
class QWidget;

namespace plyfold {

class CBaseAreaView;

// A step of the view. Bottom keeps the position (a view never jumps to its end); the bar's own
// "to the end" action is not passed on at all.
enum class ScrollStep {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    Top,
    Bottom,
};

// A jump to a content position (clamped to the content).
struct ScrollToPos {
    int pos = 0;
};

using ScrollRequest = std::variant<ScrollStep, ScrollToPos>;

// The new scroll position for `request` from `pos`, clamped to [0, contentHeight - client]; a
// line is `lineStep` pixels and a page `client - 20`. Callers check first that the content is at
// least as high as the client area.
int ScrollTarget(const ScrollRequest& request, int pos, int lineStep, int client,
                 int contentHeight);

// The vertical scroll bar of an area view (a child of the view, hidden until the content is
// higher than the client area). The view's layout shows and places it; the view's scrolling
// mirrors its position into it. The user's actions on it come back to the view as OnVScroll
// requests.
class AreaScrollBar : public QObject {
    Q_OBJECT
public:
    explicit AreaScrollBar(CBaseAreaView* view);

    QScrollBar* bar() const { return m_bar; }
    // Whether the layout gives the bar its column (set before the boxes are laid out, so that
    // they see the narrower client area).
    bool shown() const { return m_shown; }
    void SetShown(bool shown) { m_shown = shown; }
    // Shows the bar at `geometry` (view coordinates) or hides it.
    void Place(bool show, const QRect& geometry);
    // Mirrors the view without reporting back: range 0..(contentHeight - page), page and line
    // steps, and the position.
    void Sync(int pos, int page, int contentHeight, int lineStep);

private:
    void OnAction(int action);
    void OnValueChanged(int value);

    CBaseAreaView* m_view;
    QScrollBar* m_bar;
    bool m_shown = false;
    bool m_syncing = false;
};

} // namespace plyfold
