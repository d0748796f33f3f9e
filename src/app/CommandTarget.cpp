#include "app/CommandTarget.h"

#include <QMetaObject>
#include <QWidget>

namespace plyfold {

void PostCommand(QWidget* source, int commandId) {
    if (source == nullptr) {
        return;
    }
    QWidget* top = source->window();
    // The window is the call's context: if it goes away before the event loop gets here, Qt drops
    // the call instead of running it on a dead object.
    QMetaObject::invokeMethod(
        top,
        [top, commandId] {
            if (auto* target = dynamic_cast<CommandTarget*>(top)) {
                target->OnCommand(commandId);
            }
        },
        Qt::QueuedConnection);
}

} // namespace plyfold
