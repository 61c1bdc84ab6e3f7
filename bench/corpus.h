// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// The benchmark's corpora, made deterministically from a fixed seed.
struct Corpus {
    QString name;         // "A", "B", "C", "G", "H", "M", "S", or "E", "U", "W" (see Corpora)
    QString description;  // for the printed table
    int files;            // number of files
    qint64 fileSize;      // bytes per file
    double hitShare;      // share of the files holding the search text
    int hitsPerFile;      // occurrences in a file that holds the search text
    // "": UTF-8 text of "needle"s. Otherwise corpus A's text with "n\u00E9edle" for its hits
    // and "d\u00E9but " at the start of each file, in "UTF-8", "UTF-16LE" (with a byte-order
    // mark) or "Windows-1252".
    QString accentedIn = {};
};

// The corpora: many small files, one large file and one larger (G), very many tiny files, the
// folder of the highlighting row (H), whose files only need names, a million tiny files (M), which
// the keystroke row lists too, the one file of the start-up rows (S), and corpus A with accented
// hits in UTF-8 (E), UTF-16LE (U) and Windows-1252 (W).
const QList<Corpus>& Corpora();

// Writes corpus into folder, unless a complete copy is already there (marked by a file named
// folder + ".complete"). Returns the number of files that hold the search text in some case.
int MakeCorpus(const Corpus& corpus, const QString& folder);

// text, UTF-8, as the files of corpus hold it.
QByteArray InCorpusEncoding(const Corpus& corpus, const QByteArray& text);
