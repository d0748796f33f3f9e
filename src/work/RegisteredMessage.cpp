#include "work/RegisteredMessage.h"

#include <QCoreApplication>
#include <QHash>
#include <QObject>

#include <mutex>

namespace plyfold {

QEvent::Type RegisteredMessage(const QString& name) {
    if (name.isEmpty()) {
        return QEvent::None;
    }
    // Never destroyed, so that lookups stay valid while the process shuts down.
    static auto* const mutex = new std::mutex;
    static auto* const types = new QHash<QString, QEvent::Type>;

    std::lock_guard<std::mutex> lock(*mutex);
    const auto found = types->constFind(name);
    if (found != types->constEnd()) {
        return found.value();
    }
    const int type = QEvent::registerEventType();
    if (type < 0) {
        return QEvent::None;
    }
    const auto eventType = static_cast<QEvent::Type>(type);
    types->insert(name, eventType);
    return eventType;
}

bool PostRegisteredMessage(QObject* receiver, const QString& name, quintptr wParam,
                           quintptr lParam) {
    if (receiver == nullptr) {
        return false;
    }
    const QEvent::Type type = RegisteredMessage(name);
    if (type == QEvent::None) {
        return false;
    }
    QCoreApplication::postEvent(receiver, new RegisteredMessageEvent(type, wParam, lParam));
    return true;
}

} // namespace plyfold
