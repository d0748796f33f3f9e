#pragma once

// Where the main window opens: the size, position and maximised state it had when the program
// last ended (kept in the settings section "Options"), or its default size, in either case within
// the part of the screens that windows may use (the screens less panels and docks).

#include <QByteArray>
#include <QRect>

#include <vector>

class QWidget;

namespace plyfold {

// `frame` (a window's outer rectangle) moved and, where it is larger, shrunk so that it lies
// within one of the `available` areas: the one it overlaps most, or `fallback` (an index into
// `available`, normally the primary screen's) when it overlaps none. With no areas, `frame`.
QRect FitFrameToScreens(const QRect& frame, const std::vector<QRect>& available,
                        std::size_t fallback = 0);

// Keeps a top-level window within the screens' available areas, frame included (the frame's
// margins as far as they are known; before the window is first shown, none). A maximised or full
// screen window is left as it is.
void KeepWindowWithinScreens(QWidget* window);

// Gives the window the placement saved by SaveWindowPlacement, then keeps it within the screens
// as they are now. Without one (the bytes are empty or not a placement; false is returned) the
// window keeps its size as far as the primary screen's available area allows and is centred in
// it. Either way the window has a position of its own, which the window manager keeps.
bool RestoreWindowPlacement(QWidget* window, const QByteArray& saved);

// Once the window is first on the screen, with the window manager's frame around it, keeps it
// within the screens again (the frame's size is only known then).
void KeepWithinScreensOnceShown(QWidget* window);
QByteArray SaveWindowPlacement(const QWidget* window);

} // namespace plyfold
