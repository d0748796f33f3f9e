#pragma once

// The wide corpus in tests/data/wide: real-world PDFs from two public test suites, listed in its
// MANIFEST.tsv with the page count qpdf finds and whether qpdf's own command-line merge of the
// file with tests/data/pdfs/boxes.pdf gives a file that passes qpdf's check.

#include <QString>

#include <vector>

namespace plyfold::test {

struct WideCase {
    QString file;           // path relative to the corpus folder ("pdfjs/issue123.pdf")
    QString path;           // full path of the file
    int pages = -1;         // qpdf's page count; -1 when qpdf cannot count them
    bool encrypted = false; // qpdf --is-encrypted
    bool qpdfMerges = false;
};

// Folder of the corpus (in the source tree).
QString wideCorpusDir();

// Every case of the manifest, in its order; empty when the manifest cannot be read.
std::vector<WideCase> readWideCorpus();

// The cases a table test takes: every `stride`-th case of the manifest (counting from the first),
// where the stride is the environment variable PLYFOLD_WIDE_CORPUS_STRIDE (a build with the
// sanitizers, several times slower, sets it to run a fixed sample), 1 when unset or not a
// positive number.
int wideCorpusStride();

} // namespace plyfold::test
