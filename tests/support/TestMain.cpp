// Test entry point: every test executable runs inside a QApplication on the offscreen platform,
// and QSettings writes into a private temporary folder, never into the user's own settings.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Without a display Qt aborts at start; tests always run headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir settingsDir;
    // Nothing a test does may reach the real user's or the machine's folders.
    const QByteArray root = settingsDir.path().toLocal8Bit();
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_CONFIG_DIRS", root + "/xdg");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    QDir().mkpath(settingsDir.path() + "/runtime");
    QFile::setPermissions(settingsDir.path() + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PLYFOLD_CONFIG_DIR", root + "/machine-config");
    qputenv("PLYFOLD_USER_CONFIG_DIR", root + "/user-config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path() + "/user");
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       settingsDir.path() + "/system");

    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
