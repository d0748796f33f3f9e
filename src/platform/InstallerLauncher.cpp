#include "platform/InstallerLauncher.h"

#ifdef Q_OS_WIN
#include <QDir>
#include <shellapi.h>
#include <windows.h>
#else
#include <QDesktopServices>
#include <QUrl>
#endif

namespace plyfold {

namespace {

InstallerLauncher& launcher() {
    static InstallerLauncher installed;
    return installed;
}

bool platformStart(const InstallerCommand& command) {
#ifdef Q_OS_WIN
    const std::wstring program = command.program.toStdWString();
    const std::wstring parameters = command.parameters.toStdWString();
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, command.showCommand));
    return result > 32;
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(command.installerPath));
#endif
}

} // namespace

bool BuildInstallerCommand(const QString& installerPath, int productLanguage,
                           InstallerCommand* command) {
    *command = InstallerCommand();
    if (installerPath.isEmpty()) {
        return false;
    }
    for (const QChar c : installerPath) {
        if (c == u'"' || c.category() == QChar::Other_Control) {
            return false;
        }
    }
#ifdef Q_OS_WIN
    const QString path = QDir::toNativeSeparators(installerPath);
#else
    const QString& path = installerPath;
#endif
    command->program = QStringLiteral("msiexec");
    command->parameters =
        QStringLiteral("/i \"") + path + QStringLiteral("\" /qb LAUNCHAPPONEXIT=\"1\"");
    if (productLanguage != 0) {
        command->parameters += QStringLiteral(" ProductLanguage=%1").arg(productLanguage);
    }
    command->installerPath = installerPath;
    command->showCommand = 1;
    return true;
}

bool StartInstaller(const InstallerCommand& command) {
    if (command.program.isEmpty() || command.installerPath.isEmpty()) {
        return false;
    }
    if (const InstallerLauncher& installed = launcher()) {
        return installed(command);
    }
    return platformStart(command);
}

void SetInstallerLauncher(InstallerLauncher replacement) {
    launcher() = std::move(replacement);
}

} // namespace plyfold
