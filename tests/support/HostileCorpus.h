#pragma once

// The hostile-input corpus written at build time by tests/hostile/make-corpus.py: damaged and
// adversarial variants of the shared test PDFs, listed in its MANIFEST.tsv.

#include <QString>

#include <vector>

namespace plyfold::test {

struct HostileCase {
    QString name;   // file name without ".pdf"
    QString path;   // full path of the file
    int pages = -1; // pages a reader that counts the real page objects finds; -1: not knowable
    QString what;   // the damage, and the file it was made from
};

// Folder of the corpus (in the build folder).
QString hostileCorpusDir();

// Every case of the manifest, in its order; empty when the corpus was not written.
std::vector<HostileCase> readHostileCorpus();

} // namespace plyfold::test
