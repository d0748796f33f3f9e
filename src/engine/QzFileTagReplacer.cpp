#include "engine/QzFileTagReplacer.h"

#include "engine/TextConversion.h"

#include <QFile>

namespace plyfold {

bool QzFileTagReplacer::Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    // Read in blocks; a multi-byte character split across two blocks must not be torn apart, so
    // the bytes are collected first and converted once.
    QByteArray bytes;
    char block[4096];
    for (;;) {
        const qint64 got = file.read(block, sizeof block);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        bytes.append(block, got);
    }
    original += ToWide(bytes);
    content = original;
    return true;
}

void QzFileTagReplacer::Replace(const QString& tag, const QString& text) {
    if (tag.isEmpty()) {
        return;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = content.indexOf(tag, from);
        if (at < 0) {
            break;
        }
        content.replace(at, tag.size(), text);
        from = at + text.size();
    }
}

} // namespace plyfold
