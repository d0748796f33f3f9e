#pragma once

// Starting an installer. The command is what the Windows Installer service is given: the program
// "msiexec" and its parameter string
//
//     /i "<installer path>" /qb LAUNCHAPPONEXIT="1"[ ProductLanguage=<language id>]
//
// (install the package with a basic progress interface and start the application again when
// done, in the given language). On Windows it is started through the shell with that parameter
// string. Other platforms have no installer service: there the installer package is opened with
// the desktop's default handler for its type, the parameters serving only as the record of what
// was asked for.

#include <QString>

#include <functional>

namespace plyfold {

struct InstallerCommand {
    QString program;    // "msiexec"
    QString parameters; // the parameter string above
    // The installer package the parameters name.
    QString installerPath;
    // How the installer's window is shown: SW_SHOWNORMAL.
    int showCommand = 1;
};

// The command for `installerPath`; `productLanguage` 0 leaves the ProductLanguage property out.
// False (and an empty command) for an empty path or one holding a double quote or a control
// character, which the quoted parameter could not carry.
bool BuildInstallerCommand(const QString& installerPath, int productLanguage,
                           InstallerCommand* command);

// Starts the command: through the launcher set for tests, else the platform's. True when the
// platform reports that the installer started.
bool StartInstaller(const InstallerCommand& command);

// Tests replace the platform: while a launcher is set, StartInstaller hands every command to it
// and returns its answer instead of starting anything. Pass an empty function to restore the
// platform.
using InstallerLauncher = std::function<bool(const InstallerCommand&)>;
void SetInstallerLauncher(InstallerLauncher launcher);

} // namespace plyfold
