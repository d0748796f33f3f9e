#include "engine/PathUtil.h"

#include <QDir>

namespace plyfold {

namespace {

bool isSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}

bool isAbsolute(const QString& path) {
    if (path.size() > 2 && path.at(1) == u':') {
        return true; // drive path
    }
    if (path.startsWith(QStringLiteral("\\\\"))) {
        return true; // network path
    }
#ifndef Q_OS_WIN
    // On this platform a path from the root is absolute too; on Windows "\x" stays relative.
    if (path.startsWith(u'/')) {
        return true;
    }
#endif
    return false;
}

} // namespace

QString CombinePath(const QString& folder, const QString& relative, bool honourAbsolute) {
    if (folder.isEmpty()) {
        return relative;
    }
    if (relative.isEmpty()) {
        return folder;
    }
    if (honourAbsolute && isAbsolute(relative)) {
        return relative;
    }
    QString result = folder;
    if (!isSeparator(result.back())) {
        result += QDir::separator();
    }
    result += isSeparator(relative.front()) ? relative.mid(1) : relative;
    return result;
}

bool SplitPath(const QString& path, QString* folder, QString* name) {
    const qsizetype separator = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    if (separator < 0 || separator == path.size() - 1 || separator <= 1) {
        return false;
    }
    if (folder != nullptr) {
        *folder = path.left(separator);
    }
    if (name != nullptr) {
        *name = path.mid(separator + 1);
    }
    return true;
}

} // namespace plyfold
