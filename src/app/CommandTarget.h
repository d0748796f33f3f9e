#pragma once

// Command ids travel from buttons, menus and accelerators to the main window, which routes them
// on (its view first, then the application object).

class QWidget;

namespace plyfold {

// Something that takes command ids the way the main window does.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // Runs the command; false when nothing handled it.
    virtual bool OnCommand(int commandId) = 0;
};

// Posts `commandId` to the top-level window of `source` when that window is a CommandTarget. The
// command runs from the event loop, after the handler that posted it has returned; it is dropped
// when the window is destroyed first. A null source posts nothing.
void PostCommand(QWidget* source, int commandId);

} // namespace plyfold
