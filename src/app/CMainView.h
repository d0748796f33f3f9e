#pragma once

// The main window's one child: the command bar across the top, the work area on the left and the
// output area in a fixed column on the right, with a 4-pixel strip of the view's grey between the
// two areas. It passes every notification on to the three, offers commands to the two areas, and
// sends the mouse wheel to the area under the pointer whichever window has the focus.

#include "app/AreaViewHooks.h"
#include "app/CommandTarget.h"
#include "work/EventNotify.h"

#include <QColor>
#include <QFrame>

namespace plyfold {

class CCommandsWnd;

class CMainView : public QFrame, public EventNotify, public CommandTarget {
    Q_OBJECT
public:
    // The areas are made by `hooks` with `context`; a hook that returns null leaves that area out
    // (creationFailed() tells).
    explicit CMainView(QWidget* parent = nullptr, const AreaContext& context = {},
                       AreaViewHooks hooks = DefaultAreaViewHooks());
    ~CMainView() override;

    static constexpr int kCommandBarHeight = 72;
    static constexpr int kOutputColumnWidth = 220;
    static constexpr int kStripWidth = 4;
    static constexpr int kClientEdge = 2; // the sunken edge around the client area
    static inline const QColor kBackground{105, 105, 105};

    // Child ids of the three children (kept as their "childId" property).
    static constexpr int kCommandBarId = 1;
    static constexpr int kWorkAreaId = 2;
    static constexpr int kOutputAreaId = 3;

    // Passes the notification, unchanged, to the command bar, the work area and the output area,
    // in that order, each only while it exists and takes notifications.
    void Notify(NotifyCode code, NotifyData data) override;

    // Offers the command to the work area, then to the output area; false when neither took it.
    bool OnCommand(int commandId) override;

    // True when an area could not be made.
    bool creationFailed() const { return m_workArea == nullptr || m_outputArea == nullptr; }

    CCommandsWnd* commandBar() const { return m_commandBar; }
    QWidget* workArea() const { return m_workArea; }
    QWidget* outputArea() const { return m_outputArea; }

    // Places the children for a client area of cx x cy (the area inside the client edge).
    void LayoutChildren(int cx, int cy);

    // One wheel turn at a global position with the given vertical delta: scrolls the outermost area
    // view under the position one line (down for a delta <= 0) and returns true; false when no
    // area view is under it.
    bool RouteWheel(const QPoint& globalPos, int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AreaViewHooks m_hooks;
    CCommandsWnd* m_commandBar = nullptr;
    QWidget* m_workArea = nullptr;
    QWidget* m_outputArea = nullptr;
};

} // namespace plyfold
