#include "work/CSubclassWnd.h"

#include <QEvent>
#include <QObject>
#include <QThread>

#include <algorithm>

namespace plyfold {

// The event filter of one hook, installed on each of its windows. Qt asks the most recently
// installed filter first, which makes the newest hook the head of a window's chain.
class SubclassFilter : public QObject {
public:
    explicit SubclassFilter(CSubclassWnd* hook) : hook_(hook) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        return hook_->WindowProc(watched, event);
    }

private:
    CSubclassWnd* hook_;
};

CSubclassWnd::CSubclassWnd() : filter_(std::make_unique<SubclassFilter>(this)) {}

CSubclassWnd::~CSubclassWnd() {
    // Not through the virtual Unsubclass: the derived part is already gone.
    while (!attachments_.empty()) {
        Detach(attachments_.back().window);
    }
}

bool CSubclassWnd::Subclass(QObject* window) {
    if (window == nullptr) {
        const std::vector<QObject*> windows = Windows();
        for (QObject* w : windows) {
            Unsubclass(w);
        }
        return false;
    }
    if (IsSubclassed(window) || window->thread() != filter_->thread()) {
        return false;
    }
    // Destruction of the window detaches the hook. The window emits destroyed() before it deletes
    // its children and before its final QEvent::Destroy.
    QMetaObject::Connection connection = QObject::connect(
        window, &QObject::destroyed, filter_.get(), [this, window] { WindowDestroyed(window); },
        Qt::DirectConnection);
    attachments_.push_back(Attachment{window, connection});
    window->installEventFilter(filter_.get());
    return true;
}

bool CSubclassWnd::Unsubclass(QObject* window) {
    if (window == nullptr || !IsSubclassed(window)) {
        return false;
    }
    Detach(window);
    return true;
}

bool CSubclassWnd::IsSubclassed(const QObject* window) const {
    return std::any_of(attachments_.begin(), attachments_.end(),
                       [window](const Attachment& a) { return a.window == window; });
}

std::vector<QObject*> CSubclassWnd::Windows() const {
    std::vector<QObject*> windows;
    windows.reserve(attachments_.size());
    for (const Attachment& a : attachments_) {
        windows.push_back(a.window);
    }
    return windows;
}

bool CSubclassWnd::WindowProc(QObject* /*window*/, QEvent* /*event*/) {
    return false;
}

void CSubclassWnd::Detach(QObject* window) {
    const auto it = std::find_if(attachments_.begin(), attachments_.end(),
                                 [window](const Attachment& a) { return a.window == window; });
    if (it == attachments_.end()) {
        return;
    }
    QObject::disconnect(it->destroyedConnection);
    attachments_.erase(it);
    // Removing a filter from a window in the middle of delivering one of its events is safe: Qt
    // only blanks the entry and skips it.
    window->removeEventFilter(filter_.get());
}

void CSubclassWnd::WindowDestroyed(QObject* window) {
    // Every hook on the window gets this call, each for itself, while the window announces its
    // destruction; the base Unsubclass only forgets the window.
    Unsubclass(window);
    // In case an override did not reach the base: the window must not stay on the list.
    Detach(window);
}

} // namespace plyfold
