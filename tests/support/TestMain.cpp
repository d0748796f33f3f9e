// Test entry point: every test executable runs inside a QApplication on the offscreen platform,
// and QSettings writes into a private temporary folder, never into the user's own settings.

#include <QApplication>
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
    qputenv("XDG_CONFIG_HOME", settingsDir.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path() + "/user");
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       settingsDir.path() + "/system");

    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
