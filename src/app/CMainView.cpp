#include "app/CMainView.h"

#include "app/CCommandsWnd.h"

#include <QApplication>
#include <QPalette>
#include <QResizeEvent>
#include <QWheelEvent>

#include <vector>

namespace plyfold {

CMainView::CMainView(QWidget* parent, const AreaContext& context, AreaViewHooks hooks)
    : QFrame(parent), m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("mainView"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kClientEdge);
    QPalette background = palette();
    background.setColor(QPalette::Window, kBackground);
    setPalette(background);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    // Named for screen readers: the view takes the focus, and the bar groups the commands.
    setAccessibleName(QCoreApplication::translate("CMainView", "Merge"));
    m_commandBar = new CCommandsWnd(this);
    m_commandBar->setProperty("childId", kCommandBarId);
    m_commandBar->setAccessibleName(QCoreApplication::translate("CMainView", "Commands"));
    if (m_hooks.createWorkArea) {
        m_workArea = m_hooks.createWorkArea(this, context);
    }
    if (m_workArea != nullptr) {
        m_workArea->setProperty("childId", kWorkAreaId);
    }
    if (m_hooks.createOutputArea) {
        m_outputArea = m_hooks.createOutputArea(this, context);
    }
    if (m_outputArea != nullptr) {
        m_outputArea->setProperty("childId", kOutputAreaId);
    }

    // The wheel goes to the area under the pointer, not to the widget Qt would pick: watch every
    // wheel event of the application and take those meant for this view's windows.
    qApp->installEventFilter(this);

    const QRect client = contentsRect();
    LayoutChildren(client.width(), client.height());
}

CMainView::~CMainView() {
    qApp->removeEventFilter(this);
}

void CMainView::Notify(NotifyCode code, NotifyData data) {
    QWidget* const receivers[3] = {m_commandBar, m_workArea, m_outputArea};
    for (QWidget* receiver : receivers) {
        if (auto* sink = dynamic_cast<EventNotify*>(receiver)) {
            sink->Notify(code, data);
        }
    }
}

bool CMainView::OnCommand(int commandId) {
    if (!m_hooks.offerCommand) {
        return false;
    }
    for (QWidget* area : {m_workArea, m_outputArea}) {
        if (area != nullptr && m_hooks.offerCommand(area, commandId)) {
            return true;
        }
    }
    return false;
}

void CMainView::LayoutChildren(int cx, int cy) {
    const QPoint origin = contentsRect().topLeft();
    const int areaHeight = std::max(0, cy - kCommandBarHeight);
    m_commandBar->setGeometry(origin.x(), origin.y(), std::max(0, cx), kCommandBarHeight);
    if (m_workArea != nullptr) {
        m_workArea->setGeometry(origin.x(), origin.y() + kCommandBarHeight,
                                std::max(0, cx - kOutputColumnWidth - kStripWidth), areaHeight);
    }
    if (m_outputArea != nullptr) {
        m_outputArea->setGeometry(origin.x() + cx - kOutputColumnWidth,
                                  origin.y() + kCommandBarHeight, kOutputColumnWidth, areaHeight);
    }
}

void CMainView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const QRect client = contentsRect();
    LayoutChildren(client.width(), client.height());
}

bool CMainView::RouteWheel(const QPoint& globalPos, int delta) {
    QWidget* hit = childAt(mapFromGlobal(globalPos));
    if (hit == nullptr || !m_hooks.scrollLine) {
        return false;
    }
    // The chain of windows from this view's child under the pointer down to the deepest one; the
    // first (outermost) area view in it takes the line.
    std::vector<QWidget*> chain;
    for (QWidget* widget = hit; widget != nullptr && widget != this;
         widget = widget->parentWidget()) {
        chain.push_back(widget);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (m_hooks.scrollLine(*it, delta <= 0)) {
            return true;
        }
    }
    return false;
}

bool CMainView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel || !watched->isWidgetType()) {
        return QFrame::eventFilter(watched, event);
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && !isAncestorOf(widget)) {
        return QFrame::eventFilter(watched, event);
    }
    auto* wheel = static_cast<QWheelEvent*>(event);
    // Only a turn of the vertical wheel scrolls, one line per event whatever its size. Events with
    // no vertical movement (a horizontal wheel, the start or end of a touchpad gesture) do nothing.
    const int delta =
        wheel->angleDelta().y() != 0 ? wheel->angleDelta().y() : wheel->pixelDelta().y();
    if (delta != 0) {
        RouteWheel(wheel->globalPosition().toPoint(), delta);
    }
    // Taken either way: over the command bar the wheel does nothing, so the slider does not move.
    wheel->accept();
    return true;
}

} // namespace plyfold
