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
    explicit SubclassFilter(CSubclassWnd* hook) : m_hook(hook) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        return m_hook->WindowProc(watched, event);
    }

private:
    CSubclassWnd* m_hook;
};

CSubclassWnd::CSubclassWnd() : m_filter(std::make_unique<SubclassFilter>(this)) {}

CSubclassWnd::~CSubclassWnd() {
    // Not through the virtual Unsubclass: the derived part is already gone.
    while (!m_attachments.empty()) {
        Detach(m_attachments.back().window);
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
    if (IsSubclassed(window) || window->thread() != m_filter->thread()) {
        return false;
    }
    // Destruction of the window detaches the hook. The window emits destroyed() before it deletes
    // its children and before its final QEvent::Destroy.
    QMetaObject::Connection connection = QObject::connect(
        window, &QObject::destroyed, m_filter.get(), [this, window] { WindowDestroyed(window); },
        Qt::DirectConnection);
    m_attachments.push_back(Attachment{window, connection});
    window->installEventFilter(m_filter.get());
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
    return std::any_of(m_attachments.begin(), m_attachments.end(),
                       [window](const Attachment& a) { return a.window == window; });
}

std::vector<QObject*> CSubclassWnd::Windows() const {
    std::vector<QObject*> windows;
    windows.reserve(m_attachments.size());
    for (const Attachment& a : m_attachments) {
        windows.push_back(a.window);
    }
    return windows;
}

bool CSubclassWnd::WindowProc(QObject* /*window*/, QEvent* /*event*/) {
    return false;
}

void CSubclassWnd::Detach(QObject* window) {
    const auto it = std::find_if(m_attachments.begin(), m_attachments.end(),
                                 [window](const Attachment& a) { return a.window == window; });
    if (it == m_attachments.end()) {
        return;
    }
    QObject::disconnect(it->destroyedConnection);
    m_attachments.erase(it);
    // Removing a filter from a window in the middle of delivering one of its events is safe: Qt
    // only blanks the entry and skips it.
    window->removeEventFilter(m_filter.get());
}

void CSubclassWnd::WindowDestroyed(QObject* window) {
    // Every hook on the window gets this call, each for itself, while the window announces its
    // destruction; the base Unsubclass only forgets the window.
    Unsubclass(window);
    // In case an override did not reach the base: the window must not stay on the list.
    Detach(window);
}

} // namespace plyfold
