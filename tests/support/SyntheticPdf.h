#pragma once

// Small valid PDFs written from their objects: many empty pages, for tests and benchmarks that
// need a large document without shipping one, or a few hand-made objects that show one fault.
// Header-only: it needs nothing but Qt Core.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace plyfold::test {

// Writes a PDF of the given objects, numbered from 1 in order (object 1 is the catalog), with a
// correct cross-reference table. `extraTrailer` goes into the trailer dictionary as it is. False
// when the file cannot be written.
inline bool WritePdfObjects(const QString& path, const std::vector<QByteArray>& objects,
                            const QByteArray& extraTrailer = {}) {
    QByteArray out("%PDF-1.4\n");
    std::vector<qint64> offsets;
    for (const QByteArray& body : objects) {
        offsets.push_back(out.size());
        out += QByteArray::number(static_cast<qint64>(offsets.size())) + " 0 obj\n" + body +
               "\nendobj\n";
    }
    const qint64 xref = out.size();
    out += "xref\n0 " + QByteArray::number(static_cast<qint64>(offsets.size() + 1)) +
           "\n0000000000 65535 f \n";
    for (qint64 off : offsets) {
        out += QByteArray::number(off).rightJustified(10, '0') + " 00000 n \n";
    }
    out += "trailer\n<< /Size " + QByteArray::number(static_cast<qint64>(offsets.size() + 1)) +
           " /Root 1 0 R " + extraTrailer + ">>\nstartxref\n" + QByteArray::number(xref) +
           "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

// The body of a stream object: the dictionary's entries (without /Length) and the data.
inline QByteArray PdfStream(const QByteArray& entries, const QByteArray& data) {
    return "<< " + entries + " /Length " + QByteArray::number(static_cast<qint64>(data.size())) +
           " >>\nstream\n" + data + "\nendstream";
}

// Writes `pages` empty Letter pages to `path`; with `landscapeEvery` > 0, every such page (the
// 7th, 14th, ... for 7) is Letter landscape. `pageExtra` goes into the first page's dictionary
// as it is. False when the file cannot be written.
inline bool WriteSyntheticPdf(const QString& path, int pages, int landscapeEvery = 0,
                              const QByteArray& pageExtra = {}) {
    std::vector<QByteArray> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int i = 0; i < pages; ++i) {
        kids += QByteArray::number(i + 3) + " 0 R ";
    }
    objects.push_back("<< /Type /Pages /Count " + QByteArray::number(pages) + " /Kids [" + kids +
                      "] >>");
    for (int i = 0; i < pages; ++i) {
        const bool landscape = landscapeEvery > 0 && i % landscapeEvery == landscapeEvery - 1;
        const QByteArray box = landscape ? "[0 0 792 612]" : "[0 0 612 792]";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + box + " " +
                          (i == 0 ? pageExtra : QByteArray()) + ">>");
    }
    return WritePdfObjects(path, objects);
}

} // namespace plyfold::test
