// SPDX-License-Identifier: GPL-3.0-or-later
#include "corpus.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

// xorshift64*: the same text on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 2685821657736338717ull;
    }
    int Below(int n) { return int(Next() % std::uint64_t(n)); }

private:
    std::uint64_t state_;
};

const char* const kWords[] = {
    "the",       "quick",     "brown", "fox",      "jumps",  "over",    "lazy",     "dog",
    "lorem",     "ipsum",     "dolor", "sit",      "amet",   "tempor",  "magna",    "aliqua",
    "ut",        "enim",      "minim", "veniam",   "quis",   "nostrud", "ullamco",  "nisi",
    "aliquip",   "ex",        "ea",    "commodo",  "duis",   "aute",    "irure",    "in",
    "voluptate", "velit",     "esse",  "cillum",   "fugiat", "nulla",   "pariatur", "sint",
    "occaecat",  "cupidatat", "non",   "proident", "sunt",   "culpa",   "qui",      "officia",
    "deserunt",  "mollit",    "anim",  "id",       "est",    "laborum", "needs",    "kneel",
    "idle",      "seedling",  "Needs", "NEED",     "eel"};

// Text of exactly size bytes: words and line breaks, with hits copies of the search text
// (mostly "needle", some "Needle") at random places.
QByteArray MakeText(Random& random, qint64 size, int hits) {
    QByteArray text;
    text.reserve(size + 64);
    int column = 0;
    while (text.size() < size) {
        const char* word = kWords[random.Below(int(std::size(kWords)))];
        text += word;
        column += int(std::strlen(word));
        if (column > 70) {
            text += '\n';
            column = 0;
        } else {
            text += ' ';
            ++column;
        }
    }
    text.truncate(size);
    for (int i = 0; i < hits; ++i) {
        const qint64 at = qint64(random.Next() % std::uint64_t(size - 8));
        text.replace(at, 6, random.Below(5) == 0 ? "Needle" : "needle");
    }
    return text;
}

}  // namespace

const QList<Corpus>& Corpora() {
    static const QList<Corpus> corpora = {
        {"A", "10,000 files of 4 KiB", 10000, 4096, 0.07, 2},
        {"B", "one 256 MiB file", 1, 256ll * 1024 * 1024, 1.0, 4000},
        {"G", "one 1 GiB file", 1, 1024ll * 1024 * 1024, 1.0, 16000},
        {"C", "100,000 files of 1 KiB", 100000, 1024, 0.07, 1},
        {"H", "110,000 empty files", 110000, 0, 0.0, 0},
        {"M", "1,000,000 files of 1 KiB", 1000000, 1024, 0.1, 1},
        {"S", "one file of 4 KiB", 1, 4096, 1.0, 2},
        {"E", "corpus A, accented, UTF-8", 10000, 4096, 0.07, 2, "UTF-8"},
        {"U", "corpus A, accented, UTF-16LE", 10000, 4096, 0.07, 2, "UTF-16LE"},
        {"W", "corpus A, accented, Windows-1252", 10000, 4096, 0.07, 2, "Windows-1252"},
    };
    return corpora;
}

QByteArray InCorpusEncoding(const Corpus& corpus, const QByteArray& text) {
    if (corpus.accentedIn == "UTF-16LE") {
        QStringEncoder encoder(QStringConverter::Utf16LE);
        return encoder(QString::fromUtf8(text));
    }
    if (corpus.accentedIn == "Windows-1252") {
        // Windows-1252 and Latin-1 agree on every character the corpora hold.
        return QString::fromUtf8(text).toLatin1();
    }
    return text;
}

int MakeCorpus(const Corpus& corpus, const QString& folder) {
    // The accented corpora have corpus A's words, at the same places.
    const QChar seedName = corpus.accentedIn.isEmpty() ? corpus.name.at(0) : QChar('A');
    Random random(0x5eed0000u + std::uint64_t(seedName.unicode()));
    QFile mark(folder + ".complete");
    if (mark.open(QIODevice::ReadOnly)) {
        return mark.readAll().toInt();
    }
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    int hitFiles = 0;
    for (int i = 0; i < corpus.files; ++i) {
        const bool hit = random.Below(10000) < int(corpus.hitShare * 10000);
        hitFiles += hit ? 1 : 0;
        QByteArray text = MakeText(random, corpus.fileSize, hit ? corpus.hitsPerFile : 0);
        if (!corpus.accentedIn.isEmpty()) {
            text.replace("needle",
                         "n\xC3\xA9"
                         "edle")
                .replace("Needle",
                         "N\xC3\xA9"
                         "edle");
            text = InCorpusEncoding(corpus,
                                    "d\xC3\xA9"
                                    "but " +
                                        text.mid(6));
            if (corpus.accentedIn == "UTF-16LE") {
                text.prepend("\xFF\xFE");
            }
        }
        QFile file(folder + QStringLiteral("/f%1.txt").arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            qFatal("cannot write the corpus in %s", qPrintable(folder));
        }
    }
    if (!mark.open(QIODevice::WriteOnly) || mark.write(QByteArray::number(hitFiles)) <= 0) {
        qFatal("cannot write %s", qPrintable(mark.fileName()));
    }
    return hitFiles;
}
