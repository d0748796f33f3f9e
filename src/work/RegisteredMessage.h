#pragma once

// Registered messages: process-wide event types looked up by name. The first lookup of a name
// registers a new event type for it; every later lookup, from any thread, returns the same type.
// Workers use them to post results to objects of the user-interface thread.

#include <QEvent>
#include <QString>

class QObject;

namespace plyfold {

// The names of the messages this program posts.
namespace MessageName {
inline constexpr char PageRetrieved[] = "Plyfold::PageRetrieved"; // wParam instance, lParam page
inline constexpr char RemoveDoc[] = "Plyfold::RemoveDoc";         // wParam the CDoc
inline constexpr char RemovePage[] = "Plyfold::RemovePage";       // wParam the CDoc, lParam page
inline constexpr char NewProgressUpdate[] = "QzMSG::NEWPROGRESSUPDATE"; // lParam the update
} // namespace MessageName

// Returns the event type registered for the name, registering it on first use. Thread-safe.
// Returns QEvent::None for an empty name or when the process has run out of event types (no type
// is remembered for the name then, so a later call tries again).
QEvent::Type RegisteredMessage(const QString& name);

// An event of a registered type with two pointer-sized words of payload. What the words carry
// (and who owns what they point at) is fixed by each message.
class RegisteredMessageEvent : public QEvent {
public:
    RegisteredMessageEvent(QEvent::Type type, quintptr wParam, quintptr lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam) {}

    quintptr wParam() const { return m_wParam; }
    quintptr lParam() const { return m_lParam; }

private:
    quintptr m_wParam;
    quintptr m_lParam;
};

// Posts the named message to the receiver's thread (QCoreApplication::postEvent). Returns false,
// posting nothing, for a null receiver or when the name cannot be registered.
bool PostRegisteredMessage(QObject* receiver, const QString& name, quintptr wParam,
                           quintptr lParam);

} // namespace plyfold
