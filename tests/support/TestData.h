#pragma once

#include <QString>

#include <vector>

namespace plyfold::test {

// Folder of the shared test PDFs (tests/data/pdfs), with MANIFEST.tsv.
QString pdfDir();

// Full path of one test PDF by file name.
QString pdfPath(const QString& fileName);

// One row of tests/data/pdfs/MANIFEST.tsv.
struct ManifestRow {
    QString file;
    int pages = -1; // -1: the file does not open
    QString encrypted;
    QString userPassword;       // "-" none, "(empty)", or the password
    QString ownerPassword;      // "-", "(empty)", "unknown", or the password
    std::vector<int> rotations; // one per page when pages > 0
};

// Reads the manifest; the rotations column is expanded to one value per page.
std::vector<ManifestRow> readManifest();

} // namespace plyfold::test
