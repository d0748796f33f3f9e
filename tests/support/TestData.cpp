#include "support/TestData.h"

#include <QDir>

namespace plyfold::test {

QString pdfDir() {
    return QStringLiteral(PLYFOLD_TEST_DATA_DIR "/pdfs");
}

QString pdfPath(const QString& fileName) {
    return QDir(pdfDir()).filePath(fileName);
}

} // namespace plyfold::test
