#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

namespace plyfold::test {

namespace {

// "all 0" or "p1-2=270,p11-15=90 (inherited),p16-17=180; others 0; raw ...".
std::vector<int> expandRotations(const QString& text, int pages) {
    std::vector<int> rotations(static_cast<std::size_t>(std::max(pages, 0)), 0);
    if (text.startsWith("all "))
        return std::vector<int>(rotations.size(), text.mid(4).toInt());
    const QString listed = text.section(';', 0, 0);
    static const QRegularExpression item(R"(p(\d+)(?:-(\d+))?=(\d+))");
    for (const QString& part : listed.split(',')) {
        auto m = item.match(part.trimmed());
        if (!m.hasMatch())
            continue;
        const int first = m.captured(1).toInt();
        const int last = m.captured(2).isEmpty() ? first : m.captured(2).toInt();
        for (int p = first; p <= last && p <= pages; ++p)
            rotations[static_cast<std::size_t>(p - 1)] = m.captured(3).toInt();
    }
    return rotations;
}

} // namespace

QString pdfDir() {
    return QStringLiteral(PLYFOLD_TEST_DATA_DIR "/pdfs");
}

QString pdfPath(const QString& fileName) {
    return QDir(pdfDir()).filePath(fileName);
}

std::vector<ManifestRow> readManifest() {
    std::vector<ManifestRow> rows;
    QFile file(pdfDir() + "/MANIFEST.tsv");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return rows;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    bool header = true;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (header) {
            header = false;
            continue;
        }
        const QStringList f = line.split('\t');
        if (f.size() < 7)
            continue;
        ManifestRow row;
        row.file = f[0];
        bool isNumber = false;
        const int pages = f[1].toInt(&isNumber);
        row.pages = isNumber ? pages : -1;
        row.encrypted = f[2];
        row.userPassword = f[3];
        row.ownerPassword = f[4];
        row.rotations = expandRotations(f[6], row.pages);
        rows.push_back(row);
    }
    return rows;
}

} // namespace plyfold::test
