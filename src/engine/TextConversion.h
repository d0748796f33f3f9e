#pragma once

#include <QByteArray>
#include <QString>

namespace plyfold {

// Conversions between the program's wide (UTF-16) strings and 8-bit text. 8-bit text is used only
// where a library or a file format needs it. An empty input gives an empty output.

// Wide text to the locale's 8-bit encoding (engine configuration path, document passwords).
// Characters the encoding cannot represent become the encoding's replacement character.
QByteArray ToNarrow(const QString& text);
QByteArray ToNarrow(const char16_t* text);

// The locale's 8-bit encoding to wide text.
QString ToWide(const QByteArray& text);

// Wide text to UTF-8 and back.
QByteArray ToUtf8(const QString& text);
QByteArray ToUtf8(const char16_t* text);
QString FromUtf8(const char* text);

} // namespace plyfold
