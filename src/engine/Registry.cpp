#include "engine/Registry.h"

#include <QSettings>
#include <QStringList>

#include <memory>
#include <mutex>

namespace plyfold {

namespace {

constexpr auto kOrganisation = "Tessarine";
constexpr auto kApplication = "Plyfold";

// Opens the settings named by a registry-style key, or null when the key has no
// "Software\<Organisation>\<Application>" form. `groups` receives the parts after it.
std::unique_ptr<QSettings> openKey(QSettings::Scope scope, const QString& subKey,
                                   QStringList* groups) {
    QStringList parts = subKey.split(u'\\', Qt::SkipEmptyParts);
    if (parts.size() < 3 || parts.front().compare(u"Software", Qt::CaseInsensitive) != 0) {
        return nullptr;
    }
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, scope, parts.at(1), parts.at(2));
    *groups = parts.mid(3);
    return settings;
}

QString profileKey(const QString& section, const QString& entry) {
    return section.isEmpty() ? entry : section + u'/' + entry;
}

// One settings object for the whole process, reached only under `profileMutex`: the update run
// reads and writes its section from a worker thread while the user-interface thread may read too.
std::mutex profileMutex;

QSettings& userProfile() {
    static QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                              kApplication);
    return settings;
}

} // namespace

int GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    const std::lock_guard<std::mutex> lock(profileMutex);
    QSettings& settings = userProfile();
    settings.sync();
    const QVariant value = settings.value(profileKey(section, entry));
    if (!value.isValid()) {
        return defaultValue;
    }
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

QString GetProfileString(const QString& section, const QString& entry,
                         const QString& defaultValue) {
    const std::lock_guard<std::mutex> lock(profileMutex);
    QSettings& settings = userProfile();
    settings.sync();
    const QVariant value = settings.value(profileKey(section, entry));
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return defaultValue;
    }
    return value.toString();
}

bool WriteProfileInt(const QString& section, const QString& entry, int value) {
    const std::lock_guard<std::mutex> lock(profileMutex);
    QSettings& settings = userProfile();
    settings.setValue(profileKey(section, entry), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool WriteProfileString(const QString& section, const QString& entry, const QString& value) {
    const std::lock_guard<std::mutex> lock(profileMutex);
    QSettings& settings = userProfile();
    settings.setValue(profileKey(section, entry), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QByteArray GetProfileBinary(const QString& section, const QString& entry) {
    const std::lock_guard<std::mutex> lock(profileMutex);
    QSettings& settings = userProfile();
    settings.sync();
    const QVariant value = settings.value(profileKey(section, entry));
    if (!value.isValid() || value.typeId() != QMetaType::QByteArray) {
        return {};
    }
    return value.toByteArray();
}

bool WriteProfileBinary(const QString& section, const QString& entry, const QByteArray& value) {
    const std::lock_guard<std::mutex> lock(profileMutex);
    QSettings& settings = userProfile();
    settings.setValue(profileKey(section, entry), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString ReadRegString(const QString& subKey, const QString& valueName, bool* found) {
    if (found != nullptr) {
        *found = false;
    }
    QStringList groups;
    const std::unique_ptr<QSettings> settings = openKey(QSettings::SystemScope, subKey, &groups);
    if (!settings) {
        return {};
    }
    // Only the system file itself: QSettings would otherwise fall back to the user's settings.
    settings->setFallbacksEnabled(false);
    for (const QString& group : groups) {
        settings->beginGroup(group);
    }
    const QVariant value = settings->value(valueName);
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return {};
    }
    const QString text = value.toString();
    if (text.isEmpty()) {
        return {};
    }
    if (found != nullptr) {
        *found = true;
    }
    return text;
}

} // namespace plyfold
