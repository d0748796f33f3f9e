#include "update/UpdateSettings.h"

#include "engine/Registry.h"
#include "engine/VersionInfo.h"
#include "update/UpdateProtocol.h"

#include <QSettings>
#include <QVariant>
#include <QtEndian>

namespace plyfold {

namespace {

QString section() {
    return QString::fromLatin1(AutoUpdate::Section);
}

QString lastCheckedKey() {
    return section() + u'/' + QString::fromLatin1(AutoUpdate::LastChecked);
}

// The profile functions carry numbers and text only; the one binary value goes through the same
// settings store directly (settings objects of one process share their data).
constexpr auto kOrganisation = "Tessarine";
constexpr auto kApplication = "Plyfold";

} // namespace

int UILanguageIndex() {
    return UILanguageIndex(GetProfileInt(QString::fromLatin1(Options::Section),
                                         QString::fromLatin1(Options::UILanguage),
                                         Options::UILanguageDefault));
}

std::uint16_t UILanguageId() {
    return LanguageIdForIndex(UILanguageIndex());
}

void RecordNotified(const UpdateInfo* info) {
    if (info == nullptr || info->kind == UpdateInfo::NoUpdate) {
        return;
    }
    if (info->kind == UpdateInfo::Patch) {
        WriteProfileInt(section(), QString::fromLatin1(AutoUpdate::LastNotifiedPatch),
                        info->version.build);
        return;
    }
    WriteProfileString(section(), QString::fromLatin1(AutoUpdate::LastNotifiedVersion),
                       FormatVersion(info->version, 4));
}

bool WriteLastChecked(std::int64_t secondsSince1970) {
    QByteArray bytes(8, '\0');
    qToLittleEndian(static_cast<std::uint64_t>(secondsSince1970), bytes.data());
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    settings.setValue(lastCheckedKey(), bytes);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool ReadLastChecked(std::int64_t* secondsSince1970) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    const QVariant value = settings.value(lastCheckedKey());
    if (value.typeId() != QMetaType::QByteArray) {
        return false;
    }
    const QByteArray bytes = value.toByteArray();
    if (bytes.size() != 8) {
        return false;
    }
    if (secondsSince1970 != nullptr) {
        *secondsSince1970 =
            static_cast<std::int64_t>(qFromLittleEndian<std::uint64_t>(bytes.constData()));
    }
    return true;
}

} // namespace plyfold
