#pragma once

// A small valid PDF of many empty pages, for tests and benchmarks that need a large document
// without shipping one. Header-only: it needs nothing but Qt Core.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace plyfold::test {

// Writes `pages` empty Letter pages to `path`; with `landscapeEvery` > 0, every such page (the
// 7th, 14th, ... for 7) is Letter landscape. False when the file cannot be written.
inline bool WriteSyntheticPdf(const QString& path, int pages, int landscapeEvery = 0) {
    QByteArray out("%PDF-1.4\n");
    std::vector<qint64> offsets;
    auto object = [&](const QByteArray& body) {
        offsets.push_back(out.size());
        out += QByteArray::number(static_cast<qint64>(offsets.size())) + " 0 obj\n" + body +
               "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int i = 0; i < pages; ++i) {
        kids += QByteArray::number(i + 3) + " 0 R ";
    }
    object("<< /Type /Pages /Count " + QByteArray::number(pages) + " /Kids [" + kids + "] >>");
    for (int i = 0; i < pages; ++i) {
        const bool landscape = landscapeEvery > 0 && i % landscapeEvery == landscapeEvery - 1;
        const QByteArray box = landscape ? "[0 0 792 612]" : "[0 0 612 792]";
        object("<< /Type /Page /Parent 2 0 R /MediaBox " + box + " >>");
    }
    const qint64 xref = out.size();
    out += "xref\n0 " + QByteArray::number(static_cast<qint64>(offsets.size() + 1)) +
           "\n0000000000 65535 f \n";
    for (qint64 off : offsets) {
        out += QByteArray::number(off).rightJustified(10, '0') + " 00000 n \n";
    }
    out += "trailer\n<< /Size " + QByteArray::number(static_cast<qint64>(offsets.size() + 1)) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

} // namespace plyfold::test
