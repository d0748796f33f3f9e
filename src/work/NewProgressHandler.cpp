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
        : RegisteredMessageEvent(type, 0, reinterpret_cast<quintptr>(update)), owner_(owner) {}

    const NewProgressHandler* owner() const { return owner_; }

private:
    const NewProgressHandler* owner_;
};

} // namespace

NewProgressHandler::NewProgressHandler()
    : messageType_(RegisteredMessage(QString::fromLatin1(MessageName::NewProgressUpdate))) {}

NewProgressHandler::~NewProgressHandler() {
    // Not the virtual calls of a derived class: its part is gone already.
    NewProgressHandler::Flush();
    displays_.clear();
    QObject* window = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window = targetWindow_;
        targetWindow_ = nullptr;
        pending_.clear();
    }
    if (window != nullptr) {
        CSubclassWnd::Unsubclass(window);
    }
}

void NewProgressHandler::Reset() {
    text_.clear();
    min_ = 0;
    max_ = 10;
    pos_ = 0;
    marquee_ = false;
    cancelled_ = false;
    finished_ = false;
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
    return displays_.empty() ? nullptr : displays_.back();
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
        std::lock_guard<std::mutex> lock(mutex_);
        targetWindow_ = window;
    }
    Subclass(window);
    return true;
}

QObject* NewProgressHandler::targetWindow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return targetWindow_;
}

void NewProgressHandler::UserCancel() {
    cancelled_ = true;
}

void NewProgressHandler::AddDisplay(NewProgressDisplay* display) {
    if (display == nullptr || HasDisplay(display)) {
        return;
    }
    displays_.push_back(display);
    BringUpToDate(display);
}

void NewProgressHandler::RemoveDisplay(NewProgressDisplay* display) {
    const auto it = std::find(displays_.begin(), displays_.end(), display);
    if (it == displays_.end()) {
        return;
    }
    const bool wasActive = it + 1 == displays_.end();
    displays_.erase(it);
    if (wasActive && !displays_.empty()) {
        BringUpToDate(displays_.back());
    }
}

bool NewProgressHandler::HasDisplay(const NewProgressDisplay* display) const {
    return std::find(displays_.begin(), displays_.end(), display) != displays_.end();
}

void NewProgressHandler::BringUpToDate(NewProgressDisplay* display) {
    if (finished_) {
        display->Finished(0, 0);
        return;
    }
    display->EnableCancel(cancelEnabled_);
    if (marquee_) {
        display->SetMarquee();
        display->SetText(text_, -1);
    } else {
        display->SetRange(min_, max_, pos_);
        display->SetText(text_, pos_);
    }
}

void NewProgressHandler::Dispatch(std::unique_ptr<ProgressUpdate> update) {
    if (!update) {
        return;
    }
    NewProgressDisplay* display = CurrentDisplay();
    switch (update->kind) {
    case ProgressUpdate::Range:
        min_ = update->min;
        max_ = update->max;
        pos_ = update->pos;
        marquee_ = false;
        if (display != nullptr) {
            display->SetRange(min_, max_, pos_);
        }
        break;
    case ProgressUpdate::Text:
        if (update->pos != -1) {
            pos_ = update->pos;
        }
        text_ = update->text;
        if (display != nullptr) {
            display->SetText(text_, pos_);
        }
        break;
    case ProgressUpdate::Marquee:
        marquee_ = true;
        if (display != nullptr) {
            display->SetMarquee();
        }
        break;
    case ProgressUpdate::Pos:
        pos_ = update->pos;
        if (display != nullptr) {
            display->SetPos(pos_);
        }
        break;
    case ProgressUpdate::Finish:
        finished_ = true;
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
        cancelEnabled_ = update->enable;
        if (display != nullptr) {
            display->EnableCancel(cancelEnabled_);
        }
        break;
    default:
        break;
    }
}

void NewProgressHandler::Post(std::unique_ptr<ProgressUpdate> update) {
    if (!update || messageType_ == QEvent::None) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (targetWindow_ == nullptr) {
        return; // nobody would ever apply it
    }
    update->handler = this;
    const ProgressUpdate* raw = update.get();
    pending_.push_back(std::move(update));
    // Posted under the lock: the target cannot be destroyed and forgotten meanwhile (forgetting
    // it takes the lock, and a destroyed object drops the events posted to it).
    QCoreApplication::postEvent(targetWindow_, new ProgressUpdateEvent(messageType_, this, raw));
}

std::unique_ptr<ProgressUpdate> NewProgressHandler::TakePending() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty()) {
        return nullptr;
    }
    std::unique_ptr<ProgressUpdate> update = std::move(pending_.front());
    pending_.pop_front();
    return update;
}

void NewProgressHandler::Flush() {
    while (std::unique_ptr<ProgressUpdate> update = TakePending()) {
        NewProgressHandler* handler = update->handler != nullptr ? update->handler : this;
        handler->Dispatch(std::move(update));
    }
}

std::size_t NewProgressHandler::PendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

NewProgressHandler::State NewProgressHandler::state() const {
    State s;
    s.text = text_;
    s.min = min_;
    s.max = max_;
    s.pos = pos_;
    s.marquee = marquee_;
    s.cancelled = cancelled_;
    s.finished = finished_;
    s.cancelEnabled = cancelEnabled_;
    return s;
}

bool NewProgressHandler::WindowProc(QObject* window, QEvent* event) {
    if (event->type() == messageType_ && messageType_ != QEvent::None) {
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
        std::lock_guard<std::mutex> lock(mutex_);
        if (window != nullptr && window == targetWindow_) {
            targetWindow_ = nullptr;
        }
    }
    return CSubclassWnd::Unsubclass(window);
}

} // namespace plyfold
