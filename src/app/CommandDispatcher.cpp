#include "app/CommandDispatcher.h"

namespace plyfold {

void CommandDispatcher::Register(int commandId, Handler handler) {
    if (handler) {
        m_handlers[commandId] = std::move(handler);
    } else {
        m_handlers.erase(commandId);
    }
}

bool CommandDispatcher::HasHandler(int commandId) const {
    return m_handlers.find(commandId) != m_handlers.end();
}

bool CommandDispatcher::Dispatch(int commandId) const {
    const auto it = m_handlers.find(commandId);
    if (it == m_handlers.end()) {
        return false;
    }
    // Copy first: a handler may replace itself while it runs.
    const Handler handler = it->second;
    handler();
    return true;
}

} // namespace plyfold
