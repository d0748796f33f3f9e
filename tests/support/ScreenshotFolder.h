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
    ScreenshotFolder() : path_(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR")) {
        if (path_.isEmpty()) {
            own_.emplace();
            path_ = own_->path();
        } else {
            QDir().mkpath(path_);
        }
    }

    QString filePath(const QString& name) const { return QDir(path_).filePath(name); }

private:
    QString path_;
    std::optional<QTemporaryDir> own_;
};

} // namespace plyfold::test
