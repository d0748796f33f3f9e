#include "support/WideCorpus.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace plyfold::test {

QString wideCorpusDir() {
    return QDir(QStringLiteral(PLYFOLD_TEST_DATA_DIR)).filePath(QStringLiteral("wide"));
}

std::vector<WideCase> readWideCorpus() {
    std::vector<WideCase> cases;
    const QDir dir(wideCorpusDir());
    QFile file(dir.filePath(QStringLiteral("MANIFEST.tsv")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return cases;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    in.readLine(); // column names
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split('\t');
        if (f.size() < 4)
            continue;
        WideCase c;
        c.file = f[0];
        c.path = dir.filePath(f[0]);
        bool known = false;
        const int pages = f[1].toInt(&known);
        c.pages = known ? pages : -1;
        c.encrypted = f[2] == QStringLiteral("yes");
        c.qpdfMerges = f[3] == QStringLiteral("yes");
        cases.push_back(c);
    }
    return cases;
}

int wideCorpusStride() {
    bool ok = false;
    const int stride = qEnvironmentVariableIntValue("PLYFOLD_WIDE_CORPUS_STRIDE", &ok);
    return ok && stride > 0 ? stride : 1;
}

} // namespace plyfold::test
