#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace plyfold {

// Settings live where the platform keeps them (the registry on Windows, an INI file under
// ~/.config here). A registry key "Software\<Organisation>\<Application>[\<Group>...]" maps to
// QSettings(<Organisation>, <Application>) with the remaining parts as groups.

// The per-user profile of the application: "Software\Tessarine\Plyfold", one group per section
// ("Options", "AutoUpdate"). Every read has a default; a missing or malformed value gives the
// default and is never rewritten by reading.
int GetProfileInt(const QString& section, const QString& entry, int defaultValue);
QString GetProfileString(const QString& section, const QString& entry,
                         const QString& defaultValue = QString());
bool WriteProfileInt(const QString& section, const QString& entry, int value);
bool WriteProfileString(const QString& section, const QString& entry, const QString& value);
// A binary value (a byte array); empty when missing or of another type.
QByteArray GetProfileBinary(const QString& section, const QString& entry);
bool WriteProfileBinary(const QString& section, const QString& entry, const QByteArray& value);

// Reads a string value from the machine-wide settings (read only). Returns the text when the value
// exists and is a non-empty string; otherwise an empty string. `found` is set true only when a
// string was read.
QString ReadRegString(const QString& subKey, const QString& valueName, bool* found = nullptr);

} // namespace plyfold
