#pragma once

// The window a dialog is shown over. A dialog without an owner is a free top-level window: the
// window manager may then put it behind the main window, which its modality has disabled, and the
// program looks frozen. So every dialog that is not given an owner gets one from here.

class QWidget;

namespace plyfold {

// Records the program's main window (null forgets it). Held weakly: a destroyed window is
// forgotten on its own.
void SetMainWindow(QWidget* window);
QWidget* MainWindow();

// The owner for a new dialog: the modal dialog in front when there is one (a prompt asked from
// inside another dialog stays over it), else the active window unless it is a window that closes
// by itself (the start-up splash, a popup, a tool tip), else the main window while it exists.
// Null when the program has no window at all (the command-line merge).
QWidget* DialogOwner();

} // namespace plyfold
