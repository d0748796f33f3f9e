#include "platform/UserFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace plyfold {

QString UserApplicationDataFolder() {
    QString folder;
    if (qEnvironmentVariableIsSet("PLYFOLD_USER_DATA_DIR")) {
        folder = qEnvironmentVariable("PLYFOLD_USER_DATA_DIR");
    } else {
#ifdef Q_OS_WIN
        folder = qEnvironmentVariable("APPDATA");
#endif
        if (folder.isEmpty()) {
            folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        }
    }
    folder = QDir::cleanPath(folder);
    return folder == QStringLiteral(".") ? QString() : folder;
}

} // namespace plyfold
