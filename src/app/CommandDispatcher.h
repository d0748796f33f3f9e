#pragma once

#include <functional>
#include <map>

namespace plyfold {

// Routes command ids (from accelerators, buttons and menus) to their handlers. A command without a
// handler is ignored, so an accelerator can exist before its command does.
class CommandDispatcher {
public:
    using Handler = std::function<void()>;

    // Installs (or replaces, or with an empty handler removes) the handler of `commandId`.
    void Register(int commandId, Handler handler);
    bool HasHandler(int commandId) const;
    // Runs the handler of `commandId`; false when there is none.
    bool Dispatch(int commandId) const;

private:
    std::map<int, Handler> m_handlers;
};

} // namespace plyfold
