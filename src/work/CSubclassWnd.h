#pragma once

// Lets an object that is not a window intercept the events of an existing window (any QObject) by
// chaining its own handler, WindowProc, in front of the window's. Several hooks may sit on one
// window, the newest first; one hook may sit on several windows. Built on Qt event filters, which
// Qt calls newest first: passing an event on (returning false) hands it to the next older hook,
// and after the oldest to the window itself.
//
// User-interface thread only: a hook can only be put on windows of the thread that created it.

#include <QMetaObject>

#include <memory>
#include <vector>

class QEvent;
class QObject;

namespace plyfold {

class CSubclassWnd {
public:
    CSubclassWnd();
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;
    // Detaches from every window it still sits on.
    virtual ~CSubclassWnd();

    // Puts this hook at the head of the window's chain: it sees the window's events before every
    // hook attached earlier. Returns true when it was newly attached; false (nothing changes) when
    // it already sits on the window, or the window belongs to another thread. With a null window,
    // detaches from every window (through Unsubclass) and returns false.
    virtual bool Subclass(QObject* window);

    // Takes this hook out of the window's chain, wherever it is in it; the hooks before and after
    // it stay chained. Returns false when it did not sit on the window. Also called when the
    // window is destroyed (while it emits destroyed()); an override must call the base.
    virtual bool Unsubclass(QObject* window);

    bool IsSubclassed(const QObject* window) const;
    // The windows this hook sits on, in the order it was attached to them.
    std::vector<QObject*> Windows() const;

protected:
    // Sees every event of a window this hook sits on, before the older hooks and the window.
    // Returns true when the event was handled: nothing later in the chain sees it then. The base
    // handles nothing and returns false, which passes the event on to the next hook and finally
    // to the window; an override handles what it wants and calls the base for the rest.
    //
    // When a window is destroyed, every hook is detached from it before the window's own
    // destruction handling (its children and its QEvent::Destroy), so a hook never sees a window
    // that is being taken apart.
    virtual bool WindowProc(QObject* window, QEvent* event);

private:
    friend class SubclassFilter;
    struct Attachment {
        QObject* window;
        QMetaObject::Connection destroyedConnection;
    };

    void Detach(QObject* window);
    void WindowDestroyed(QObject* window);

    // The event filter installed on every window of this hook.
    std::unique_ptr<QObject> m_filter;
    std::vector<Attachment> m_attachments;
};

} // namespace plyfold
