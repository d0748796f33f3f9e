#pragma once

#include <QString>

namespace plyfold::test {

// Folder of the shared test PDFs (tests/data/pdfs), with MANIFEST.tsv.
QString pdfDir();

// Full path of one test PDF by file name.
QString pdfPath(const QString& fileName);

} // namespace plyfold::test
