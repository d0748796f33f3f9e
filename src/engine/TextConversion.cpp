#include "engine/TextConversion.h"

namespace plyfold {

QByteArray ToNarrow(const QString& text) {
    return text.toLocal8Bit();
}

QByteArray ToNarrow(const char16_t* text) {
    return text == nullptr ? QByteArray() : ToNarrow(QString::fromUtf16(text));
}

QString ToWide(const QByteArray& text) {
    return QString::fromLocal8Bit(text);
}

QByteArray ToUtf8(const QString& text) {
    return text.toUtf8();
}

QByteArray ToUtf8(const char16_t* text) {
    return text == nullptr ? QByteArray() : ToUtf8(QString::fromUtf16(text));
}

QString FromUtf8(const char* text) {
    return text == nullptr ? QString() : QString::fromUtf8(text);
}

} // namespace plyfold
