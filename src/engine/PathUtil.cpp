#include "engine/PathUtil.h"

#include <QDir>
#include <QFileInfo>

namespace plyfold {

bool IsPathSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

namespace {

bool isSeparator(QChar c) {
    return IsPathSeparator(c);
}

bool isAbsolute(const QString& path) {
#ifdef Q_OS_WIN
    if (path.size() > 2 && path.at(1) == u':') {
        return true; // drive path
    }
    return path.startsWith(QStringLiteral("\\\\")); // network path; "\x" stays relative
#else
    return path.startsWith(u'/');
#endif
}

// Where the last separator of `path` is, -1 when there is none. The file name QFileInfo finds
// follows the platform's rules; whatever precedes it ends in the separator.
qsizetype lastSeparator(const QString& path) {
    const qsizetype separator = path.size() - QFileInfo(path).fileName().size() - 1;
    return separator >= 0 && isSeparator(path.at(separator)) ? separator : -1;
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
    const qsizetype separator = lastSeparator(path);
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

QString FileNameAfterFolder(const QString& path) {
    const qsizetype separator = lastSeparator(path);
    return separator < 0 ? QString() : path.mid(separator + 1);
}

QString LowerAsciiLetters(const QString& path) {
    QString key = path;
    for (QChar& c : key) {
        const char16_t unit = c.unicode();
        if (unit >= u'A' && unit <= u'Z') {
            c = QChar(char16_t(unit - u'A' + u'a'));
        }
    }
    return key;
}

QString PathKey(const QString& path) {
    return kCaseInsensitivePaths ? LowerAsciiLetters(path) : path;
}

} // namespace plyfold
