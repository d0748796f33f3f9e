#include "controls/DialogOwner.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace plyfold {

namespace {

QPointer<QWidget>& mainWindow() {
    static QPointer<QWidget> window;
    return window;
}

// A window that can own a dialog for as long as the dialog runs: a normal window or a dialog,
// not one that closes by itself under the dialog.
bool CanOwnDialogs(const QWidget* window) {
    if (window == nullptr || !window->isVisible()) {
        return false;
    }
    const Qt::WindowType type = window->windowType();
    if (type != Qt::Window && type != Qt::Dialog) {
        return false; // popups, tool tips, splash screens
    }
    // The start-up splash is a frameless top-level window that closes on a timer.
    return !window->windowFlags().testFlag(Qt::FramelessWindowHint);
}

} // namespace

void SetMainWindow(QWidget* window) {
    mainWindow() = window;
}

QWidget* MainWindow() {
    return mainWindow().data();
}

QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget(); CanOwnDialogs(modal)) {
        return modal;
    }
    if (QWidget* active = QApplication::activeWindow(); CanOwnDialogs(active)) {
        return active;
    }
    return mainWindow().data();
}

} // namespace plyfold
