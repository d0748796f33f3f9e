#include "support/HostileCorpus.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace plyfold::test {

QString hostileCorpusDir() {
    return QStringLiteral(PLYFOLD_HOSTILE_CORPUS_DIR);
}

std::vector<HostileCase> readHostileCorpus() {
    std::vector<HostileCase> cases;
    QFile file(QDir(hostileCorpusDir()).filePath(QStringLiteral("MANIFEST.tsv")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return cases;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    in.readLine(); // column names
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split('\t');
        if (f.size() < 3)
            continue;
        HostileCase c;
        c.name = f[0];
        c.path = QDir(hostileCorpusDir()).filePath(f[0] + QStringLiteral(".pdf"));
        bool known = false;
        const int pages = f[1].toInt(&known);
        c.pages = known ? pages : -1;
        c.what = f[2];
        cases.push_back(c);
    }
    return cases;
}

} // namespace plyfold::test
