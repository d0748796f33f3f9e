#include "work/NewProgressHandler.h"

#include "work/NewProgressDisplay.h"
#include "work/RegisteredMessage.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <algorithm>

namespace plyfold {

namespace {

// The message that wakes a handler on its target window. Like the plain registered message it
// carries the update in its long parameter, and it also names the handler that posted it. Both are
// used only to recognise the message, never dereferenced: the update itself is taken from the
// handler's own queue, so a message that outlives its update (already flushed) or its handler
// does no harm.
class ProgressUpdateEvent : public RegisteredMessageEvent {
public:
    ProgressUpdateEvent(QEvent::Type type, const NewProgressHandler* owner,
                        const ProgressUpdate* update)
        : RegisteredMessageEvent(type, 0, reinterpret_cast<quintptr>(update)), m_owner(owner) {}

    const NewProgressHandler* owner() const { return m_owner; }

private:
    const NewProgressHandler* m_owner;
};

} // namespace

NewProgressHandler::NewProgressHandler()
    : m_messageType(RegisteredMessage(QString::fromLatin1(MessageName::NewProgressUpdate))) {}

NewProgressHandler::~NewProgressHandler() {
    // Not the virtual calls of a derived class: its part is gone already.
    NewProgressHandler::Flush();
    m_displays.clear();
    QObject* window = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        window = m_targetWindow;
        m_targetWindow = nullptr;
        m_pending.clear();
    }
    if (window != nullptr) {
        CSubclassWnd::Unsubclass(window);
    }
}

void NewProgressHandler::Reset() {
    m_text.clear();
    m_min = 0;
    m_max = 10;
    m_pos = 0;
    m_marquee = false;
    m_cancelled = false;
    m_finished = false;
}

void NewProgressHandler::SetRange(int min, int max, int pos) {
    auto update = std::make_unique<ProgressUpdate>(ProgressUpdate::Range);
    update->min = min;
    update->max = max;
    update->pos = pos;
    Post(std::move(update));
}

void NewProgressHandler::SetMarquee() {
    Post(std::make_unique<ProgressUpdate>(ProgressUpdate::Marquee));
}

void NewProgressHandler::SetText(const QString& text, int pos) {
    auto update = std::make_unique<ProgressUpdate>(ProgressUpdate::Text);
    update->text = text;
    update->pos = pos;
    Post(std::move(update));
}

void NewProgressHandler::SetPos(int pos) {
    auto update = std::make_unique<ProgressUpdate>(ProgressUpdate::Pos);
    update->pos = pos;
    Post(std::move(update));
}

void NewProgressHandler::Finished(int code, std::intptr_t value) {
    auto update = std::make_unique<ProgressUpdate>(ProgressUpdate::Finish);
    update->code = code;
    update->value = value;
    Post(std::move(update));
}

void NewProgressHandler::EnableCancel(bool enable) {
    auto update = std::make_unique<ProgressUpdate>(ProgressUpdate::EnableCancel);
    update->enable = enable;
    Post(std::move(update));
}

NewProgressDisplay* NewProgressHandler::CurrentDisplay() {
    return m_displays.empty() ? nullptr : m_displays.back();
}

bool NewProgressHandler::AttachToWindow(QObject* window) {
    QObject* old = targetWindow();
    if (window == old && window != nullptr) {
        return true;
    }
    if (old != nullptr) {
        // What was posted to the old window is applied before the handler leaves it.
        Flush();
        Unsubclass(old);
    }
    if (window == nullptr || window->thread() != QThread::currentThread()) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_targetWindow = window;
    }
    Subclass(window);
    return true;
}

QObject* NewProgressHandler::targetWindow() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_targetWindow;
}

void NewProgressHandler::UserCancel() {
    m_cancelled = true;
}

void NewProgressHandler::AddDisplay(NewProgressDisplay* display) {
    if (display == nullptr || HasDisplay(display)) {
        return;
    }
    m_displays.push_back(display);
    BringUpToDate(display);
}

void NewProgressHandler::RemoveDisplay(NewProgressDisplay* display) {
    const auto it = std::find(m_displays.begin(), m_displays.end(), display);
    if (it == m_displays.end()) {
        return;
    }
    const bool wasActive = it + 1 == m_displays.end();
    m_displays.erase(it);
    if (wasActive && !m_displays.empty()) {
        BringUpToDate(m_displays.back());
    }
}

bool NewProgressHandler::HasDisplay(const NewProgressDisplay* display) const {
    return std::find(m_displays.begin(), m_displays.end(), display) != m_displays.end();
}

void NewProgressHandler::BringUpToDate(NewProgressDisplay* display) {
    if (m_finished) {
        display->Finished(0, 0);
        return;
    }
    display->EnableCancel(m_cancelEnabled);
    if (m_marquee) {
        display->SetMarquee();
        display->SetText(m_text, -1);
    } else {
        display->SetRange(m_min, m_max, m_pos);
        display->SetText(m_text, m_pos);
    }
}

void NewProgressHandler::Dispatch(std::unique_ptr<ProgressUpdate> update) {
    if (!update) {
        return;
    }
    NewProgressDisplay* display = CurrentDisplay();
    switch (update->kind) {
    case ProgressUpdate::Range:
        m_min = update->min;
        m_max = update->max;
        m_pos = update->pos;
        m_marquee = false;
        if (display != nullptr) {
            display->SetRange(m_min, m_max, m_pos);
        }
        break;
    case ProgressUpdate::Text:
        if (update->pos != -1) {
            m_pos = update->pos;
        }
        m_text = update->text;
        if (display != nullptr) {
            display->SetText(m_text, m_pos);
        }
        break;
    case ProgressUpdate::Marquee:
        m_marquee = true;
        if (display != nullptr) {
            display->SetMarquee();
        }
        break;
    case ProgressUpdate::Pos:
        m_pos = update->pos;
        if (display != nullptr) {
            display->SetPos(m_pos);
        }
        break;
    case ProgressUpdate::Finish:
        m_finished = true;
        // A display that lets go of the result removes itself; the next one is offered it. A
        // display that declines but stays would be offered it for ever: stop there.
        while (display != nullptr && !display->Finished(update->code, update->value)) {
            NewProgressDisplay* next = CurrentDisplay();
            if (next == display) {
                break;
            }
            display = next;
        }
        break;
    case ProgressUpdate::EnableCancel:
        m_cancelEnabled = update->enable;
        if (display != nullptr) {
            display->EnableCancel(m_cancelEnabled);
        }
        break;
    default:
        break;
    }
}

void NewProgressHandler::Post(std::unique_ptr<ProgressUpdate> update) {
    if (!update || m_messageType == QEvent::None) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_targetWindow == nullptr) {
        return; // nobody would ever apply it
    }
    update->handler = this;
    const ProgressUpdate* raw = update.get();
    m_pending.push_back(std::move(update));
    // Posted under the lock: the target cannot be destroyed and forgotten meanwhile (forgetting
    // it takes the lock, and a destroyed object drops the events posted to it).
    QCoreApplication::postEvent(m_targetWindow, new ProgressUpdateEvent(m_messageType, this, raw));
}

std::unique_ptr<ProgressUpdate> NewProgressHandler::TakePending() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pending.empty()) {
        return nullptr;
    }
    std::unique_ptr<ProgressUpdate> update = std::move(m_pending.front());
    m_pending.pop_front();
    return update;
}

void NewProgressHandler::Flush() {
    while (std::unique_ptr<ProgressUpdate> update = TakePending()) {
        NewProgressHandler* handler = update->handler != nullptr ? update->handler : this;
        handler->Dispatch(std::move(update));
    }
}

std::size_t NewProgressHandler::PendingCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.size();
}

NewProgressHandler::State NewProgressHandler::state() const {
    State s;
    s.text = m_text;
    s.min = m_min;
    s.max = m_max;
    s.pos = m_pos;
    s.marquee = m_marquee;
    s.cancelled = m_cancelled;
    s.finished = m_finished;
    s.cancelEnabled = m_cancelEnabled;
    return s;
}

bool NewProgressHandler::WindowProc(QObject* window, QEvent* event) {
    if (event->type() == m_messageType && m_messageType != QEvent::None) {
        const auto* message = dynamic_cast<const ProgressUpdateEvent*>(event);
        if (message != nullptr && message->owner() == this) {
            // The oldest pending update is the one this message was posted for, unless a Flush
            // applied it already; either way taking the oldest keeps the posted order.
            if (std::unique_ptr<ProgressUpdate> update = TakePending()) {
                NewProgressHandler* handler = update->handler != nullptr ? update->handler : this;
                handler->Dispatch(std::move(update));
            }
            return true;
        }
    }
    return CSubclassWnd::WindowProc(window, event);
}

bool NewProgressHandler::Unsubclass(QObject* window) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (window != nullptr && window == m_targetWindow) {
            m_targetWindow = nullptr;
        }
    }
    return CSubclassWnd::Unsubclass(window);
}

} // namespace plyfold
