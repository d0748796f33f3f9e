#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace plyfold {

namespace {

long long OverlapArea(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
}

std::vector<QRect> AvailableAreas(std::size_t* primary) {
    std::vector<QRect> areas;
    *primary = 0;
    const QScreen* main = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen == main) {
            *primary = areas.size();
        }
        areas.push_back(screen->availableGeometry());
    }
    return areas;
}

} // namespace

QRect FitFrameToScreens(const QRect& frame, const std::vector<QRect>& available,
                        std::size_t fallback) {
    if (available.empty()) {
        return frame;
    }
    std::size_t best = fallback < available.size() ? fallback : 0;
    long long bestOverlap = 0;
    for (std::size_t i = 0; i < available.size(); ++i) {
        const long long overlap = OverlapArea(frame, available[i]);
        if (overlap > bestOverlap) {
            best = i;
            bestOverlap = overlap;
        }
    }
    const QRect& area = available[best];
    if (area.isEmpty()) {
        return frame;
    }
    const int width = std::clamp(frame.width(), 1, area.width());
    const int height = std::clamp(frame.height(), 1, area.height());
    const int x = std::clamp(frame.x(), area.x(), area.x() + area.width() - width);
    const int y = std::clamp(frame.y(), area.y(), area.y() + area.height() - height);
    return QRect(x, y, width, height);
}

void KeepWindowWithinScreens(QWidget* window) {
    if (window == nullptr || !window->isWindow() ||
        (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) != 0) {
        return;
    }
    std::size_t primary = 0;
    const std::vector<QRect> areas = AvailableAreas(&primary);
    const QRect frame = window->frameGeometry();
    const QRect fitted = FitFrameToScreens(frame, areas, primary);
    if (fitted == frame) {
        return;
    }
    // The frame's margins around the client area stay as they are.
    const QRect client = window->geometry();
    const QMargins margins(client.x() - frame.x(), client.y() - frame.y(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    const QRect inner = fitted.marginsRemoved(margins);
    if (window->size() != inner.size()) {
        window->resize(inner.size().expandedTo(window->minimumSize()));
    }
    window->move(fitted.topLeft());
}

bool RestoreWindowPlacement(QWidget* window, const QByteArray& saved) {
    if (window == nullptr) {
        return false;
    }
    if (!saved.isEmpty() && window->restoreGeometry(saved)) {
        KeepWindowWithinScreens(window);
        return true;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        QRect frame(QPoint(0, 0), window->size().boundedTo(area.size()));
        frame.moveCenter(area.center());
        window->resize(frame.size().expandedTo(window->minimumSize()));
        window->move(frame.topLeft());
    }
    return false;
}

namespace {

// Waits for the first exposure of a window, then fits it once and goes.
class FitWhenExposed : public QObject {
public:
    explicit FitWhenExposed(QWidget* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && m_window->windowHandle() == watched &&
            m_window->windowHandle()->isExposed()) {
            KeepWindowWithinScreens(m_window);
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_window; // the parent: outlives this object
};

} // namespace

void KeepWithinScreensOnceShown(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    window->winId(); // makes the window's handle
    if (QWindow* handle = window->windowHandle()) {
        handle->installEventFilter(new FitWhenExposed(window));
    }
}

QByteArray SaveWindowPlacement(const QWidget* window) {
    return window != nullptr ? window->saveGeometry() : QByteArray();
}

} // namespace plyfold
