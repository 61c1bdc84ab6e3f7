#pragma once

#include <QList>
#include <QString>

// The benchmark's corpora, made deterministically from a fixed seed.
struct Corpus {
    QString name;         // "A", "B", "C" or "H"
    QString description;  // for the printed table
    int files;            // number of files
    qint64 fileSize;      // bytes per file
    double hitShare;      // share of the files holding the search text
    int hitsPerFile;      // occurrences in a file that holds the search text
};

// The corpora: many small files, one large file, very many tiny files, and the folder of the
// highlighting row (H), whose files only need names.
const QList<Corpus>& Corpora();

// Writes corpus into folder, unless a complete copy is already there (marked by a file named
// folder + ".complete"). Returns the number of files that hold the search text in some case.
int MakeCorpus(const Corpus& corpus, const QString& folder);
