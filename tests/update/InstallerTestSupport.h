#pragma once

// The surroundings of an installer download in a test: a private application-data folder, a test
// root that the program trusts in place of the maker's, a signed package, the installer launcher
// replaced by a recorder, and the "AutoUpdate" settings cleared before and after.

#include "platform/InstallerLauncher.h"
#include "platform/InstallerTestSigning.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

#include <mutex>
#include <vector>

namespace plyfold::test {

inline void ClearAutoUpdateSettings() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tessarine"),
                       QStringLiteral("Plyfold"));
    settings.remove(QStringLiteral("AutoUpdate"));
    settings.remove(QStringLiteral("Options/UILanguage"));
    settings.sync();
}

// Bytes that look like nothing in particular, the same for the same seed.
inline QByteArray InstallerBytes(qsizetype size, quint32 seed = 7) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes) {
        c = static_cast<char>(random.bounded(256));
    }
    return bytes;
}

class InstallerEnvironment {
public:
    InstallerEnvironment() {
        qputenv("PLYFOLD_USER_DATA_DIR", QFile::encodeName(dataDir.path()));
        rootFile = rootDir.filePath(QStringLiteral("root.pem"));
        WriteFileBytes(rootFile, signing.root.pem());
        qputenv("PLYFOLD_INSTALLER_CA", QFile::encodeName(rootFile));
        ClearAutoUpdateSettings();
        SetInstallerLauncher([this](const InstallerCommand& command) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_launched.push_back(command);
            return launchAnswer;
        });
    }
    ~InstallerEnvironment() {
        SetInstallerLauncher({});
        ClearAutoUpdateSettings();
        qunsetenv("PLYFOLD_USER_DATA_DIR");
        qunsetenv("PLYFOLD_INSTALLER_CA");
    }
    InstallerEnvironment(const InstallerEnvironment&) = delete;
    InstallerEnvironment& operator=(const InstallerEnvironment&) = delete;

    // Where downloads go: <data dir>/Tessarine.
    QString downloadFolder() const { return dataDir.path() + QStringLiteral("/Tessarine"); }
    QString partFile() const {
        return downloadFolder() + QStringLiteral("/Plyfold-Installer.msi.part");
    }
    QString finalFile() const {
        return downloadFolder() + QStringLiteral("/Plyfold-Installer.msi");
    }
    QString contentFile() const {
        return downloadFolder() + QStringLiteral("/Plyfold-Installer-content.msi");
    }

    std::vector<InstallerCommand> launched() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_launched;
    }

    QTemporaryDir dataDir;
    QTemporaryDir rootDir;
    QString rootFile;
    TestSigningSet signing;
    // What the recorded launch reports.
    bool launchAnswer = true;

private:
    mutable std::mutex m_mutex;
    std::vector<InstallerCommand> m_launched;
};

} // namespace plyfold::test
