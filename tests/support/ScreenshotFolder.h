#pragma once

// Where a test keeps the pictures it takes: the folder PLYFOLD_SCREENSHOT_DIR names when it is set
// (made if missing), else a folder of this run's own, removed with the object, so that runs side by
// side never write over each other's files.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace plyfold::test {

class ScreenshotFolder {
public:
    ScreenshotFolder() : m_path(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR")) {
        if (m_path.isEmpty()) {
            m_own.emplace();
            m_path = m_own->path();
        } else {
            QDir().mkpath(m_path);
        }
    }

    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }

private:
    QString m_path;
    std::optional<QTemporaryDir> m_own;
};

} // namespace plyfold::test
